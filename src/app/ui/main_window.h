#pragma once
// The main window: a view of the controller. It binds the file bar, tabs, log pane, progress bar,
// status line and menus to the controller's models and hosts the twelve page forms.
#include "app/station/controller.h"
#include "link/programmer.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QMenu;
class QPlainTextEdit;
class QTabBar;

namespace kelvor::records {
class Recorder;
class RecordsWindow;
} // namespace kelvor::records

namespace kelvor::app {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(CQORVENDlg& station, QWidget* parent = nullptr);

    QWidget* pageWidget(const QString& name) const { return pages_.value(name); }
    QTabBar* tabBar() const { return tabs_; }
    QPlainTextEdit* logPane() const { return log_; }
    QMenu* deviceMenu() const { return deviceMenu_; }
    // The 模拟器 menu, shown while the simulated programmer is in use; `socketChanged` runs after
    // the menu changed the socket's chip.
    void addSimulatorMenu(link::BenchControls& bench, std::function<void()> socketChanged = {});
    // "生产记录" in the 系统(S) menu: the records window over the recorder's database.
    void addRecordsEntry(records::Recorder& recorder);
    records::RecordsWindow* recordsWindow() const;
    void showRecords();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildTabArea();
    void syncTabs();
    void buildMenus();
    void rebuildDeviceMenu();
    void refreshChecks(QMenu* menu);
    void styleQcDisplay();
    struct FaultEffect {
        QPointer<QAction> action;
        QString name;
        QString effect;
    };
    void showFaultEffect(const FaultEffect& f);

    CQORVENDlg& station_;
    QTabBar* tabs_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QMenu* deviceMenu_ = nullptr;
    QHash<QString, QWidget*> pages_;
    bool syncingTabs_ = false;
    records::Recorder* recorder_ = nullptr;
    QPointer<records::RecordsWindow> records_;
    QList<FaultEffect> faultEffects_;
};

// The pane text as shown: "\r\n" breaks a line; a lone "\r" or "\n" shows nothing.
QString paneDisplayText(const QString& paneText);

} // namespace kelvor::app
