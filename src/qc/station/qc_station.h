#pragma once
// The QC station mode: the three QC pages' actions and the handlers of WM_QC_PRECHECK,
// WM_QC_RESULT, WM_QC_STATS_REQUEST and WM_QC_STATS. The judgement is qc::evaluate; this applies
// its steps to the test page, the window log and the message boxes, and runs the display timer.
#include "qc/evaluation.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace kelvor {
class CQORVENDlg;
}

namespace kelvor::qc {

class QcStation : public QObject {
    Q_OBJECT
public:
    explicit QcStation(CQORVENDlg& controller);

    // QC-mode start-up: the display idle, the lists and start-up texts, the checks' controls off.
    void startUp();

    void onPrecheck();
    void onResult();
    void onStatsRequest();
    void onStats();

    // What the configuration page asks for now (the date as last picked).
    Expectations expectations() const;
    Display display() const;
    // The last reply judged; replies and statistics answers handled so far.
    const std::optional<Evaluation>& lastEvaluation() const { return last_; }
    int results() const { return results_; }
    int statsAnswers() const { return statsAnswers_; }
    // The display's return to idle (timer 1 of the main window).
    QTimer& displayTimer() { return timer_; }

    // Expected date from the date picker (month * 100 + day); valid after a date was picked.
    int expectedYear = 0;
    int expectedMonthDay = 0;
    bool dateChosen = false;

signals:
    void evaluated(bool pass);

private:
    void connectPages();
    void setDisplay(Display d);
    void enableVersion(bool on);
    void enableDate(bool on);
    void enableVoltage(bool on);
    void storeDate();
    void offerFirmware();
    void refuse(const Refusal& r);

    CQORVENDlg& c_;
    QTimer timer_;
    std::optional<Evaluation> last_;
    int results_ = 0;
    int statsAnswers_ = 0;
};

} // namespace kelvor::qc
