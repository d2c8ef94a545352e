#pragma once
// The production records of a station: takes each job's inputs from the controller and each run's
// readings and verdict from the link, and commits the chip's record before its OK or NG face shows.
// A database that cannot be opened or written never stops programming: the log pane says so once
// at the start and once at the first failing write.
#include "link/station/link.h"
#include "records/record.h"
#include "records/station/store.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

namespace kelvor::records {

namespace text {
inline constexpr const char* kCannotOpen = "生产记录: 无法打开记录数据库 %s (%s), 本次不保存生产记录, 烧录照常进行!";
inline constexpr const char* kCannotWrite = "生产记录: 写入记录数据库 %s 失败 (%s), 烧录照常进行!";
} // namespace text

// Where the records go: [RECORDS] PATH (relative to zep.log's folder; "off": nowhere), by default
// records.sqlite beside zep.log. Empty: records are off.
QString recordsPath(const Settings& settings, const std::filesystem::path& logFile);
// [RECORDS] STATION, by default the host name.
std::string stationName(const Settings& settings);

class Recorder : public QObject, public link::RunObserver {
    Q_OBJECT
public:
    Recorder(CQORVENDlg& station, link::Link& link);
    ~Recorder() override;

    // Opens the database the settings name; one log pane line when it cannot.
    void start();
    bool enabled() const { return store_.isOpen(); }
    const RecordStore& store() const { return store_; }
    // The id of the record last committed (0: none yet).
    std::int64_t lastRecordId() const { return lastId_; }
    QString path() const { return QString::fromStdString(store_.path()); }

    // The inputs of a run that starts now, from the station as it stands: for a run that is not a
    // programming job's (a QC run), which then records itself with record().
    RunInputs inputsNow(const std::string& mode);
    // Commits one record; false (and the log line, once) when it could not be written.
    bool record(ChipRecord& r);

    // RunObserver
    void runBegun() override;
    void runCancelled() override;
    void reportRead(const link::ReportReading& reading, const link::Judgement& j, bool failed) override;
    void verdictTaken(bool pass, link::RunEnd how, link::ReportRole role) override;
    void runEnded(const link::RunResult& result) override;

signals:
    // A record was added or completed (UI thread): the records window follows.
    void recorded(qint64 id);

private:
    void jobRan(const jobs::JobInputs& in, const jobs::JobContext& ctx, const jobs::JobResult& r);
    bool update(const ChipRecord& r);
    void writeFailed(const std::string& why);

    CQORVENDlg& c_;
    link::Link& link_;
    RecordStore store_;
    bool warned_ = false;
    std::int64_t lastId_ = 0;
    std::string station_;
    // The job prepared last, waiting for its run.
    std::optional<RunInputs> prepared_;

    // The run in progress (events are added on the receive thread).
    std::mutex lock_;
    bool active_ = false;
    RunInputs inputs_;
    std::vector<StageEvent> events_;
    std::optional<link::ReportReading> standAlone_; // the last stand-alone result's reading
    std::string firmware_;
    QElapsedTimer clock_;
    std::optional<ChipRecord> judged_; // committed at its verdict, completed at the run's end
};

} // namespace kelvor::records
