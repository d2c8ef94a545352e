#include "qc/station/qc_station.h"

#include "app/station/controller.h"
#include "qc/page_controls.h"

#include <QDate>

namespace kelvor::qc {
namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString key(int id) { return controlKey(id); }

int fieldControl(Field f) {
    switch (f) {
    case Field::Model: return qctest::kModel;
    case Field::Checksum: return qctest::kChecksum;
    case Field::Version: return qctest::kVersion;
    case Field::Date: return qctest::kDate;
    case Field::Voltage: return qctest::kVoltage;
    }
    return qctest::kModel;
}

} // namespace

QcStation::QcStation(CQORVENDlg& controller) : QObject(&controller), c_(controller) {
    timer_.setSingleShot(true);
    timer_.setInterval(kDisplayHoldMs);
    connect(&timer_, &QTimer::timeout, this, [this] { setDisplay(Display::Idle); });
    connectPages();
}

void QcStation::startUp() {
    PageModel& test = c_.page(page::kQcTest);
    test.setText(key(qctest::kDisplay), q(text::kIdle));
    test.setCurrent(key(qctest::kDisplay), static_cast<int>(Display::Idle));

    PageModel& cfg = c_.page(page::kQcConfig);
    QStringList choices;
    for (auto s : qcconfig::kFirmwareChoices) choices << q(s);
    cfg.setItems(key(qcconfig::kFirmwareList), choices);
    // A date picker always holds a date: today's until the tester picks another.
    cfg.setText(key(qcconfig::kDate), QDate::currentDate().toString(Qt::ISODate));
    storeDate();
    enableVersion(false);
    enableDate(false);
    enableVoltage(false);

    PageModel& comm = c_.page(page::kQcComm);
    for (const auto& row : statsRows()) comm.setText(key(row.control), q(row.label));
}

void QcStation::connectPages() {
    PageModel& test = c_.page(page::kQcTest);
    connect(&test, &PageModel::clicked, this, [this, &test](const QString& k) {
        if (k != key(qctest::kTest)) return;
        for (int id : qctest::kResultFields) test.setText(key(id), QString());
        c_.sendMessage(WM_QC_PRECHECK);
    });

    PageModel& cfg = c_.page(page::kQcConfig);
    connect(&cfg, &PageModel::clicked, this, [this, &cfg](const QString& k) {
        const bool on = cfg.isChecked(k);
        if (k == key(qcconfig::kCheckVersion)) enableVersion(on);
        else if (k == key(qcconfig::kCheckDate)) enableDate(on);
        else if (k == key(qcconfig::kCheckVoltage)) enableVoltage(on);
    });
    connect(&cfg, &PageModel::edited, this, [this](const QString& k) {
        if (k == key(qcconfig::kDate)) storeDate();
    });
    connect(&cfg, &PageModel::chosen, this, [this](const QString& k, int) {
        if (k == key(qcconfig::kFirmwareList)) offerFirmware();
    });

    connect(&c_.page(page::kQcComm), &PageModel::clicked, this, [this](const QString& k) {
        if (k == key(qccomm::kReadStats)) c_.sendMessage(WM_QC_STATS_REQUEST);
    });
}

void QcStation::enableVersion(bool on) {
    PageModel& cfg = c_.page(page::kQcConfig);
    PageModel& test = c_.page(page::kQcTest);
    cfg.setEnabled(key(qcconfig::kVersion), on);
    cfg.setEnabled(key(qcconfig::kVersionLabel), on);
    test.setEnabled(key(qctest::kVersionLabel), on);
    test.setEnabled(key(qctest::kVersion), on);
}

void QcStation::enableDate(bool on) {
    PageModel& cfg = c_.page(page::kQcConfig);
    PageModel& test = c_.page(page::kQcTest);
    cfg.setEnabled(key(qcconfig::kDate), on);
    cfg.setEnabled(key(qcconfig::kDateLabel), on);
    test.setEnabled(key(qctest::kDateLabel), on);
    test.setEnabled(key(qctest::kDate), on);
}

void QcStation::enableVoltage(bool on) {
    PageModel& cfg = c_.page(page::kQcConfig);
    PageModel& test = c_.page(page::kQcTest);
    cfg.setEnabled(key(qcconfig::kVoltageLabel), on);
    test.setEnabled(key(qctest::kVoltageLabel), on);
    test.setEnabled(key(qctest::kVoltage), on);
    test.setEnabled(key(qctest::kMvLabel), on);
}

void QcStation::storeDate() {
    int year = 0, monthDay = 0;
    dateChosen = parseDate(c_.page(page::kQcConfig).text(key(qcconfig::kDate)).toStdString(), year, monthDay);
    if (!dateChosen) return;
    expectedYear = year;
    expectedMonthDay = monthDay;
}

void QcStation::offerFirmware() {
    if (!c_.reporter().messageBox(kBoxCaption, text::kUpdateQuestion, BoxButtons::YesNo, BoxIcon::Question)) return;
    c_.qcFirmwareRequest = 1;
    c_.sendMessage(WM_FW_ENTER_IAP);
}

Expectations QcStation::expectations() const {
    const PageModel& cfg = c_.page(page::kQcConfig);
    Expectations e;
    e.checksumText = cfg.text(key(qcconfig::kChecksum)).toStdString();
    e.checkVersion = cfg.isChecked(key(qcconfig::kCheckVersion));
    e.versionText = cfg.text(key(qcconfig::kVersion)).toStdString();
    e.checkDate = cfg.isChecked(key(qcconfig::kCheckDate));
    e.dateChosen = dateChosen;
    e.year = expectedYear;
    e.monthDay = expectedMonthDay;
    e.checkVoltage = cfg.isChecked(key(qcconfig::kCheckVoltage));
    return e;
}

Display QcStation::display() const {
    const int v = c_.page(page::kQcTest).current(key(qctest::kDisplay));
    return v == 0 ? Display::Fail : v == 1 ? Display::Pass : Display::Idle;
}

void QcStation::setDisplay(Display d) {
    PageModel& test = c_.page(page::kQcTest);
    // The state first: a view paints the new text in the new state's colour.
    test.setCurrent(key(qctest::kDisplay), static_cast<int>(d));
    test.setText(key(qctest::kDisplay), q(displayText(d)));
    if (d == Display::Idle) timer_.stop();
}

void QcStation::refuse(const Refusal& r) {
    c_.log().windowLog(r.line);
    c_.reporter().messageBox(kBoxCaption, r.box, BoxButtons::Ok, BoxIcon::None);
}

void QcStation::onPrecheck() {
    storeDate();
    if (auto r = precheck(expectations())) return refuse(*r);
    if (c_.link().zepIap(18) != 0) refuse(testerAbsent());
}

void QcStation::onResult() {
    // The date picker is read again: the expectation is what it shows now.
    storeDate();
    Evaluation ev = evaluate(c_.link().qcReply(), expectations());
    PageModel& test = c_.page(page::kQcTest);
    for (const Step& s : ev.steps) {
        switch (s.kind) {
        case Step::Kind::Show: test.setText(key(fieldControl(s.field)), q(s.text)); break;
        case Step::Kind::Display: setDisplay(s.display); break;
        case Step::Kind::Log: c_.log().windowLog(s.text); break;
        case Step::Kind::Box: c_.reporter().messageBox(kBoxCaption, s.text, BoxButtons::Ok, BoxIcon::None); break;
        }
    }
    timer_.start();
    ++results_;
    const bool pass = ev.pass;
    last_ = std::move(ev);
    emit evaluated(pass);
}

void QcStation::onStatsRequest() {
    if (c_.link().zepIap(20) != 0) refuse(testerAbsent());
}

void QcStation::onStats() {
    const auto texts = statsTexts(c_.link().qcErrorStats());
    PageModel& comm = c_.page(page::kQcComm);
    for (std::size_t k = 0; k < texts.size(); ++k) comm.setText(key(statsRows()[k].control), q(texts[k]));
    ++statsAnswers_;
}

} // namespace kelvor::qc
