#include "records/ui/records_window.h"

#include "base/ui/display_text.h"

#include "records/station/recorder.h"

#include <QAbstractTableModel>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QTableView>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <map>

namespace kelvor::records {

class RecordsTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    std::vector<ChipRecord> rows;

    void reset(std::vector<ChipRecord> r) {
        beginResetModel();
        rows = std::move(r);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 9; }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char* kHeads[] = {"时间", "型号", "模式", "结果", "失败阶段", "CKSUM", "OSC delta%", "用时ms", "镜像"};
        if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 9) return {};
        return ui::displayText(QString::fromUtf8(kHeads[section]));
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(rows.size())) return {};
        // Newest first.
        const ChipRecord& r = rows[rows.size() - 1 - static_cast<std::size_t>(index.row())];
        if (role == Qt::ForegroundRole && index.column() == 3)
            return r.verdict == Verdict::Pass ? QColor(0, 128, 0) : QColor(200, 0, 0);
        if (role != Qt::DisplayRole) return {};
        auto q = [](const std::string& s) { return QString::fromStdString(s); };
        switch (index.column()) {
        case 0: return q(r.in.timeLocal.substr(0, 19)).replace('T', ' ');
        case 1: return q(r.in.model);
        case 2: return q(r.in.mode);
        case 3: return q(std::string(verdictName(r.verdict)));
        case 4: return r.verdict == Verdict::Pass ? QString() : q(failureLabel(r));
        case 5: return r.in.cksum ? QStringLiteral("0x%1").arg(*r.in.cksum, 4, 16, QChar('0')) : QString();
        case 6: return r.oscDeltaPct ? QString::number(*r.oscDeltaPct, 'f', 4) : QString();
        case 7: return r.durationMs;
        case 8: return q(r.in.imagePath);
        }
        return {};
    }
};

namespace {

QChartView* chartView(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 260);
    return view;
}

void clearChart(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* a : chart->axes()) {
        chart->removeAxis(a);
        delete a;
    }
}

// The time ranges of the filter, in hours back from now; 0: all.
struct Range {
    const char* label;
    int hours;
};
constexpr char kPerHourTitle[] = "每小时 OK / NG";
constexpr char kFailuresTitle[] = "失败阶段排行";
constexpr Range kRanges[] = {{"全部时间", 0}, {"最近1小时", 1}, {"最近8小时", 8}, {"最近24小时", 24}, {"最近7天", 24 * 7}};

} // namespace

RecordsWindow::RecordsWindow(const QString& databasePath, QWidget* parent) : QWidget(parent), path_(databasePath) {
    ui::setCaption(this, QStringLiteral("生产记录"));
    setObjectName(QStringLiteral("recordsWindow"));
    range_ = new QComboBox;
    range_->setObjectName(QStringLiteral("recordsRange"));
    for (const auto& r : kRanges) range_->addItem(ui::displayText(QString::fromUtf8(r.label)), r.hours);
    model_ = new QComboBox;
    model_->setObjectName(QStringLiteral("recordsModel"));
    verdict_ = new QComboBox;
    verdict_->setObjectName(QStringLiteral("recordsVerdict"));
    verdict_->addItem(ui::displayText(QStringLiteral("全部结果")), QString());
    for (Verdict v : kVerdicts) {
        const QString name = QString::fromStdString(std::string(verdictName(v)));
        verdict_->addItem(name, name);
    }
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("recordsStatus"));

    rows_ = new RecordsTableModel(this);
    table_ = new QTableView;
    table_->setModel(rows_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);

    perHour_ = chartView(ui::displayText(QString::fromUtf8(kPerHourTitle)));
    failures_ = chartView(ui::displayText(QString::fromUtf8(kFailuresTitle)));
    drift_ = chartView(QString());

    auto* filters = new QHBoxLayout;
    auto label = [](const char* source) {
        auto* l = new QLabel;
        ui::setCaption(l, QString::fromUtf8(source));
        return l;
    };
    filters->addWidget(label("时间:"));
    filters->addWidget(range_);
    filters->addWidget(label("型号:"));
    filters->addWidget(model_);
    filters->addWidget(label("结果:"));
    filters->addWidget(verdict_);
    filters->addStretch();
    filters->addWidget(status_);

    auto* grid = new QGridLayout(this);
    grid->addLayout(filters, 0, 0, 1, 2);
    grid->addWidget(table_, 1, 0);
    grid->addWidget(perHour_, 1, 1);
    grid->addWidget(failures_, 2, 0);
    grid->addWidget(drift_, 2, 1);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(2, 1);

    pending_ = new QTimer(this);
    pending_->setSingleShot(true);
    pending_->setInterval(300);
    connect(pending_, &QTimer::timeout, this, &RecordsWindow::reload);
    for (QComboBox* box : {range_, model_, verdict_})
        connect(box, &QComboBox::activated, this, &RecordsWindow::reload);
    resize(1200, 760);
    reload();
}

RecordsWindow::~RecordsWindow() = default;

// Captions follow the window's language; the records themselves (models, verdicts, failure lines,
// paths) are shown as stored.
void RecordsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        ui::retranslate(this);
        for (int i = 0; i < range_->count() && i < static_cast<int>(std::size(kRanges)); ++i)
            range_->setItemText(i, ui::displayText(QString::fromUtf8(kRanges[i].label)));
        if (verdict_->count() > 0) verdict_->setItemText(0, ui::displayText(QStringLiteral("全部结果")));
        perHour_->chart()->setTitle(ui::displayText(QString::fromUtf8(kPerHourTitle)));
        failures_->chart()->setTitle(ui::displayText(QString::fromUtf8(kFailuresTitle)));
        emit rows_->headerDataChanged(Qt::Horizontal, 0, rows_->columnCount() - 1);
        reload();
    }
    QWidget::changeEvent(event);
}

void RecordsWindow::follow(const Recorder& recorder) {
    connect(&recorder, &Recorder::recorded, this, [this] {
        if (!pending_->isActive()) pending_->start();
    });
}

int RecordsWindow::rowCount() const { return rows_->rowCount(); }

RecordFilter RecordsWindow::filter() const {
    RecordFilter f;
    f.brief = true;
    if (const int hours = range_->currentData().toInt())
        f.sinceMs = QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(hours) * 3600 * 1000;
    f.model = model_->currentData().toString().toStdString();
    f.verdict = parseVerdict(verdict_->currentData().toString().toStdString());
    return f;
}

void RecordsWindow::fillModels() {
    std::string error;
    const QString chosen = model_->currentData().toString();
    model_->clear();
    model_->addItem(ui::displayText(QStringLiteral("全部型号")), QString());
    for (const auto& m : store_.models(error)) model_->addItem(QString::fromStdString(m), QString::fromStdString(m));
    const int at = model_->findData(chosen);
    model_->setCurrentIndex(at < 0 ? 0 : at);
}

void RecordsWindow::reload() {
    if (path_.isEmpty()) {
        status_->setText(ui::displayText(QStringLiteral("生产记录已关闭 ([RECORDS] PATH=off)")));
        return;
    }
    std::string error;
    // The recorder may create the file after this window opened: try again at each reload.
    if (!store_.isOpen() && !store_.open(path_.toStdString(), RecordStore::Mode::ReadOnly, error)) {
        status_->setText(ui::displayText(QStringLiteral("无法读取 %1: %2")).arg(path_, QString::fromStdString(error)));
        rows_->reset({});
        drawCharts({});
        return;
    }
    fillModels();
    auto rows = store_.query(filter(), error);
    drawCharts(rows);
    const auto shown = rows.size();
    rows_->reset(std::move(rows));
    table_->resizeColumnsToContents();
    status_->setText(error.empty() ? ui::displayText(QStringLiteral("%1 条记录  %2")).arg(shown).arg(path_)
                                   : QString::fromStdString(error));
}

void RecordsWindow::drawCharts(const std::vector<ChipRecord>& rows) {
    // The drift is one model's: the one chosen, or the one with the most chips shown.
    std::string driftModel = model_->currentData().toString().toStdString();
    if (driftModel.empty()) {
        std::map<std::string, int> n;
        for (const auto& r : rows) ++n[r.in.model];
        int best = 0;
        for (const auto& [m, c] : n)
            if (c > best) best = c, driftModel = m;
    }
    series_ = chartSeries(rows, driftModel);

    QChart* hour = perHour_->chart();
    clearChart(hour);
    auto* ok = new QBarSet(QStringLiteral("OK"));
    auto* ng = new QBarSet(QStringLiteral("NG"));
    ok->setColor(QColor(60, 160, 60));
    ng->setColor(QColor(210, 60, 50));
    QStringList hours;
    for (const auto& c : series_.perHour) {
        *ok << c.passed;
        *ng << (c.total - c.passed);
        hours << QString::fromStdString(c.key.size() >= 13 ? c.key.substr(5) : c.key);
    }
    auto* stacked = new QStackedBarSeries;
    stacked->append(ok);
    stacked->append(ng);
    hour->addSeries(stacked);
    auto* hourAxis = new QBarCategoryAxis;
    hourAxis->append(hours);
    hourAxis->setLabelsAngle(-45);
    hour->addAxis(hourAxis, Qt::AlignBottom);
    stacked->attachAxis(hourAxis);
    auto* countAxis = new QValueAxis;
    countAxis->setLabelFormat(QStringLiteral("%d"));
    hour->addAxis(countAxis, Qt::AlignLeft);
    stacked->attachAxis(countAxis);
    int mostChips = 1;
    for (const auto& c : series_.perHour) mostChips = std::max(mostChips, c.total);
    countAxis->setRange(0, mostChips);
    countAxis->applyNiceNumbers();

    QChart* fail = failures_->chart();
    clearChart(fail);
    auto* bars = new QBarSet(ui::displayText(QStringLiteral("NG 次数")));
    bars->setColor(QColor(210, 60, 50));
    QStringList labels;
    // Most frequent at the top.
    for (auto it = series_.failures.rbegin(); it != series_.failures.rend(); ++it) {
        *bars << it->total;
        labels << QString::fromStdString(it->key);
    }
    auto* pareto = new QHorizontalBarSeries;
    pareto->append(bars);
    fail->addSeries(pareto);
    auto* stageAxis = new QBarCategoryAxis;
    stageAxis->append(labels);
    fail->addAxis(stageAxis, Qt::AlignLeft);
    pareto->attachAxis(stageAxis);
    auto* failCount = new QValueAxis;
    failCount->setLabelFormat(QStringLiteral("%d"));
    fail->addAxis(failCount, Qt::AlignBottom);
    pareto->attachAxis(failCount);
    int mostFailures = 1;
    for (const auto& c : series_.failures) mostFailures = std::max(mostFailures, c.total);
    failCount->setRange(0, mostFailures);
    failCount->applyNiceNumbers(); // whole counts at whole ticks
    fail->legend()->hide();

    QChart* drift = drift_->chart();
    clearChart(drift);
    drift->setTitle(ui::displayText(QStringLiteral("OSC delta% 随时间 (%1)")).arg(QString::fromStdString(driftModel)));
    auto* points = new QScatterSeries;
    points->setName(QString::fromStdString(driftModel));
    points->setMarkerSize(6);
    points->setBorderColor(Qt::transparent);
    QList<QPointF> xy;
    xy.reserve(static_cast<qsizetype>(series_.drift.size()));
    double top = 0;
    for (const auto& p : series_.drift) {
        xy << QPointF(static_cast<double>(p.epochMs), p.deltaPct);
        top = std::max(top, p.deltaPct);
    }
    points->replace(xy);
    drift->addSeries(points);
    auto* timeAxis = new QDateTimeAxis;
    if (!series_.drift.empty()) {
        const qint64 first = series_.drift.front().epochMs, last = series_.drift.back().epochMs;
        const qint64 pad = std::max<qint64>((last - first) / 20, 1000);
        // Seconds for a run of minutes, dates for a week of production.
        timeAxis->setFormat(last - first < 3600 * 1000 ? QStringLiteral("HH:mm:ss")
                            : last - first < 86400 * 1000 ? QStringLiteral("HH:mm")
                                                          : QStringLiteral("MM-dd HH:mm"));
        timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first - pad), QDateTime::fromMSecsSinceEpoch(last + pad));
    }
    timeAxis->setTickCount(5);
    drift->addAxis(timeAxis, Qt::AlignBottom);
    points->attachAxis(timeAxis);
    auto* deltaAxis = new QValueAxis;
    deltaAxis->setRange(0, top > 0 ? top * 1.1 : 1.0);
    drift->addAxis(deltaAxis, Qt::AlignLeft);
    points->attachAxis(deltaAxis);
    drift->legend()->hide();
}

} // namespace kelvor::records
