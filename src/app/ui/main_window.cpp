#include "app/ui/main_window.h"

#include "app/ui/binder.h"
#include "app/ui/forms.h"
#include "base/ui/display_text.h"
#include "qc/evaluation.h"
#include "qc/page_controls.h"
#include "records/station/recorder.h"
#include "records/ui/records_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace kelvor::app {

QString paneDisplayText(const QString& paneText) {
    QString out;
    out.reserve(paneText.size());
    for (qsizetype i = 0; i < paneText.size(); ++i) {
        const QChar c = paneText.at(i);
        if (c == '\r' && i + 1 < paneText.size() && paneText.at(i + 1) == '\n') {
            out += '\n';
            ++i;
        } else if (c != '\r' && c != '\n') {
            out += c;
        }
    }
    return out;
}

MainWindow::MainWindow(CQORVENDlg& station, QWidget* parent) : QMainWindow(parent), station_(station) {
    setupMainWindowForm(this);
    log_ = findChild<QPlainTextEdit*>(QStringLiteral("c1036"));
    buildTabArea();
    new Binder(station_.mainModel(), this, this, {QStringLiteral("c1036"), QStringLiteral("c1008")});

    PageModel& main = station_.mainModel();
    connect(&main, &PageModel::changed, this, [this, &main](const QString& key) {
        if (key == QLatin1String("title")) setWindowTitle(ui::displayText(main.text(key)));
        else if (key == QLatin1String("menuBar")) menuBar()->setVisible(main.isVisible(key));
        else if (key == controlKey(1008)) syncTabs();
    });

    // Log pane.
    LogPane& pane = station_.logPane();
    log_->setPlainText(paneDisplayText(pane.text()));
    connect(&pane, &LogPane::reset, this, [this](const QString& text) {
        log_->setPlainText(paneDisplayText(text));
        log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
    });
    connect(&pane, &LogPane::appended, this, [this](const QString& added) {
        QTextCursor c(log_->document());
        c.movePosition(QTextCursor::End);
        c.insertText(paneDisplayText(added));
        log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
    });

    buildMenus();
    styleQcDisplay();
    connect(&station_, &CQORVENDlg::closeRequested, this, &QWidget::close);
}

void MainWindow::buildTabArea() {
    auto* area = findChild<QWidget*>(QStringLiteral("c1008"));
    auto* layout = area->findChild<QVBoxLayout*>(QStringLiteral("tabAreaLayout"));
    tabs_ = new QTabBar(area);
    tabs_->setObjectName(QStringLiteral("tabBar"));
    tabs_->setExpanding(false);
    tabs_->setDrawBase(true);
    // Every tab stays in sight: no scroll arrows, no cut captions; the layout reserves the
    // bar's full width, and the window's minimum size follows from it.
    tabs_->setUsesScrollButtons(false);
    tabs_->setElideMode(Qt::ElideNone);
    layout->addWidget(tabs_);
    auto* pageArea = new QWidget(area);
    pageArea->setObjectName(QStringLiteral("pageArea"));
    auto* grid = new QGridLayout(pageArea);
    grid->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pageArea, 1);
    // All pages share one cell; the controller decides which one is visible.
    for (const QString& name : pageFormNames()) {
        QWidget* form = createPageForm(name, pageArea);
        grid->addWidget(form, 0, 0);
        pages_.insert(name, form);
        PageModel& model = station_.page(name);
        new Binder(model, form, form);
        form->setVisible(model.pageVisible());
        connect(&model, &PageModel::pageVisibilityChanged, form, &QWidget::setVisible);
    }
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (!syncingTabs_) station_.mainModel().choose(controlKey(1008), index);
    });
    syncTabs();
}

void MainWindow::syncTabs() {
    syncingTabs_ = true;
    const QStringList captions = station_.mainModel().items(controlKey(1008));
    while (tabs_->count() > 0) tabs_->removeTab(0);
    for (const auto& c : captions) tabs_->addTab(ui::displayText(c));
    tabs_->setCurrentIndex(station_.mainModel().current(controlKey(1008)));
    syncingTabs_ = false;
}

void MainWindow::buildMenus() {
    // The form's menus and items follow the language; their texts are the sources.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        ui::setCaption(menu, menu->title());
        for (QAction* a : menu->actions())
            if (!a->menu() && !a->isSeparator()) ui::setCaption(a, a->text());
    }
    for (QAction* a : menuBar()->actions())
        if (!a->menu() && !a->isSeparator()) ui::setCaption(a, a->text());
    const struct {
        const char* name;
        int command;
    } actions[] = {{"a32771", cmd::kSoundPrompt}, {"a32775", cmd::kExit},    {"a32776", cmd::kHelp},
                   {"a32773", cmd::kChinese},     {"a32774", cmd::kEnglish}, {"a32801", cmd::kAutoDetect},
                   {"a32798", cmd::kAbout}};
    for (const auto& a : actions) {
        if (auto* action = findChild<QAction*>(QString::fromLatin1(a.name))) {
            const int command = a.command;
            connect(action, &QAction::triggered, this, [this, action, command] {
                station_.menuCommand(command);
                if (action->isCheckable()) action->setChecked(station_.menuChecked(command));
            });
        }
    }
    // A QC station has no menu bar: "退出" stays reachable by its shortcut.
    if (auto* exit = findChild<QAction*>(QStringLiteral("a32775"))) {
        exit->setShortcut(QKeySequence::Quit);
        addAction(exit);
    }
    // No window-manager system menu here: the About item goes to the System menu instead.
    if (auto* system = findChild<QMenu*>(QStringLiteral("menuSystem"))) {
        system->addSeparator();
        auto* about = system->addAction(QStringLiteral("&About QORVEN..."));
        about->setObjectName(QStringLiteral("a16"));
        connect(about, &QAction::triggered, this, [this] { station_.menuCommand(cmd::kSystemAbout); });
        connect(system, &QMenu::aboutToShow, this, [this, system] { refreshChecks(system); });
    }
    // The language items show which language the window is in.
    if (auto* language = findChild<QMenu*>(QStringLiteral("menuLanguage"))) {
        for (QAction* a : language->actions()) a->setCheckable(true);
        connect(language, &QMenu::aboutToShow, this, [this, language] { refreshChecks(language); });
    }
    deviceMenu_ = findChild<QMenu*>(QStringLiteral("menuDevice"));
    connect(deviceMenu_, &QMenu::aboutToShow, this, [this] { refreshChecks(deviceMenu_); });
    connect(&station_, &CQORVENDlg::deviceMenuChanged, this, &MainWindow::rebuildDeviceMenu);
    rebuildDeviceMenu();
}

void MainWindow::rebuildDeviceMenu() {
    deviceMenu_->clear();
    for (const auto& entry : station_.deviceMenu) {
        QAction* a = deviceMenu_->addAction(QString());
        ui::setCaption(a, entry.text);
        a->setCheckable(true);
        a->setData(entry.command);
        const int command = entry.command;
        connect(a, &QAction::triggered, this, [this, command] { station_.menuCommand(command); });
    }
}

void MainWindow::refreshChecks(QMenu* menu) {
    for (QAction* a : menu->actions()) {
        int command = a->data().isValid() ? a->data().toInt() : 0;
        if (!command && a->objectName().startsWith('a')) command = a->objectName().mid(1).toInt();
        if (command && a->isCheckable()) a->setChecked(station_.menuChecked(command));
    }
}

void MainWindow::styleQcDisplay() {
    auto* display = pages_.value(page::kQcTest) ? pages_.value(page::kQcTest)->findChild<QLabel*>(controlKey(qctest::kDisplay))
                                                : nullptr;
    if (!display) return;
    // "宋体" where it exists; a Song face of the CJK fonts a Linux desktop has otherwise.
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(45);
    display->setFont(font);
    PageModel& qc = station_.page(page::kQcTest);
    auto paint = [display, &qc] {
        const int state = qc.current(controlKey(qctest::kDisplay));
        const auto d = state == 0 ? qc::Display::Fail : state == 1 ? qc::Display::Pass : qc::Display::Idle;
        display->setStyleSheet(QStringLiteral("color: #%1;").arg(qc::displayColour(d), 6, 16, QLatin1Char('0')));
        // At once: a message box may open before the event loop would paint.
        display->repaint();
    };
    paint();
    connect(&qc, &PageModel::changed, display, [paint](const QString& key) {
        if (key == controlKey(qctest::kDisplay)) paint();
    });
}

void MainWindow::addRecordsEntry(records::Recorder& recorder) {
    recorder_ = &recorder;
    auto* system = findChild<QMenu*>(QStringLiteral("menuSystem"));
    if (!system) return;
    auto* entry = new QAction(system);
    ui::setCaption(entry, QStringLiteral("生产记录"));
    entry->setObjectName(QStringLiteral("aRecords"));
    // Above the About entry and its separator.
    const auto actions = system->actions();
    QAction* before = actions.size() >= 2 ? actions[actions.size() - 2] : nullptr;
    system->insertAction(before, entry);
    connect(entry, &QAction::triggered, this, &MainWindow::showRecords);
}

records::RecordsWindow* MainWindow::recordsWindow() const { return records_.data(); }

void MainWindow::showRecords() {
    if (!records_ && recorder_) {
        records_ = new records::RecordsWindow(recorder_->path(), this);
        records_->setWindowFlag(Qt::Window);
        records_->setAttribute(Qt::WA_DeleteOnClose);
        records_->follow(*recorder_);
    }
    if (!records_) return;
    records_->reload();
    records_->show();
    records_->raise();
}

void MainWindow::addSimulatorMenu(link::BenchControls& bench, std::function<void()> socketChanged) {
    auto captioned = [](QAction* a, const QString& source) {
        ui::setCaption(a, source);
        return a;
    };
    QMenu* menu = new QMenu(this);
    ui::setCaption(menu, QStringLiteral("模拟器"));
    menu->setObjectName(QStringLiteral("menuSimulator"));
    menuBar()->insertMenu(deviceMenu_->menuAction(), menu);
    auto* plug = captioned(menu->addAction(QString()), QStringLiteral("插入烧录器"));
    auto* unplug = captioned(menu->addAction(QString()), QStringLiteral("拔出烧录器"));
    auto* chip = captioned(menu->addAction(QString()), QStringLiteral("换一颗空白芯片"));
    connect(plug, &QAction::triggered, this, [&bench] { bench.plug(); });
    connect(unplug, &QAction::triggered, this, [&bench] { bench.unplug(); });
    connect(chip, &QAction::triggered, this, [&bench] { bench.insertBlankChip(); });

    // The socket: a chip of the selected model (as an operator changes chips), a fixed model, or none.
    QMenu* socket = menu->addMenu(QString());
    ui::setCaption(socket, QStringLiteral("插座芯片"));
    socket->setObjectName(QStringLiteral("menuSocket"));
    auto* choices = new QActionGroup(socket);
    auto addChoice = [&](const QString& text, const QString& choice) {
        QAction* a = captioned(socket->addAction(QString()), text);
        a->setCheckable(true);
        a->setData(choice);
        choices->addAction(a);
        connect(a, &QAction::triggered, this, [this, &bench, choice, socketChanged] {
            const std::string error = bench.setSocketChoice(choice.toStdString());
            if (!error.empty()) station_.log().windowLog(error);
            if (socketChanged) socketChanged();
        });
    };
    addChoice(QStringLiteral("跟随所选型号"), QStringLiteral("auto"));
    addChoice(QStringLiteral("空插座"), QStringLiteral("none"));
    socket->addSeparator();
    for (const auto& model : bench.socketModels()) addChoice(QString::fromStdString(model), QString::fromStdString(model));
    auto* fresh = captioned(menu->addAction(QString()), QStringLiteral("烧录后换新芯片"));
    fresh->setObjectName(QStringLiteral("aFreshChip"));
    fresh->setCheckable(true);
    connect(fresh, &QAction::triggered, this, [&bench](bool on) { bench.setFreshChipAfterBurn(on); });
    QMenu* faults = menu->addMenu(QString());
    ui::setCaption(faults, QStringLiteral("故障"));
    for (const auto& f : bench.faultChoices()) {
        // The name is what KELVOR.ini and the CLI take; only the effect is translated.
        auto* a = faults->addAction(QString());
        faultEffects_.append({a, QString::fromStdString(f.name), QString::fromStdString(f.effect)});
        showFaultEffect(faultEffects_.back());
        a->setCheckable(true);
        a->setData(QString::fromStdString(f.name));
        connect(a, &QAction::triggered, this, [this, &bench, faults] {
            QStringList on;
            for (QAction* x : faults->actions())
                if (x->isChecked()) on << x->data().toString();
            const std::string error = bench.setActiveFaults(on.join(',').toStdString());
            if (!error.empty()) station_.log().windowLog(error);
        });
    }
    connect(menu, &QMenu::aboutToShow, this, [&bench, plug, unplug, faults, socket, fresh] {
        plug->setEnabled(!bench.plugged());
        unplug->setEnabled(bench.plugged());
        const QString choice = QString::fromStdString(bench.socketChoice());
        for (QAction* a : socket->actions())
            if (a->isCheckable()) a->setChecked(a->data().toString() == choice);
        fresh->setChecked(bench.freshChipAfterBurn());
        const QStringList active = QString::fromStdString(bench.activeFaults()).split(',');
        for (QAction* a : faults->actions()) a->setChecked(active.contains(a->data().toString()));
    });
}

void MainWindow::showFaultEffect(const FaultEffect& f) {
    if (f.action) f.action->setText(f.name + QStringLiteral("  —  ") + ui::displayText(f.effect));
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        ui::retranslate(this);
        setWindowTitle(ui::displayText(station_.mainModel().text(QStringLiteral("title"))));
        syncTabs();
        for (const auto& f : faultEffects_) showFaultEffect(f);
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Workers waiting on the UI are released; the process never hangs on them.
    station_.ui().shutdown();
    QMainWindow::closeEvent(event);
}

} // namespace kelvor::app
