#include "records/station/recorder.h"

#include "base/strfmt.h"
#include "jobs/job.h"
#include "link/station/station_link.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

namespace kelvor::records {
namespace {

// An image is a few hundred kilobytes at most; a file far larger is not hashed whole.
constexpr qint64 kMaxHashedBytes = 64 * 1024 * 1024;

std::string iso(const QDateTime& t) { return t.toString(Qt::ISODateWithMs).toStdString(); }

std::string programmerName(const link::Programmer& p) {
    const QString kind = link::programmerKind(p);
    if (kind == QStringLiteral("模拟烧录器")) return "simulated";
    if (kind == QStringLiteral("无烧录器")) return "none";
    return "vendor-library";
}

std::optional<int> millivoltsOf(const std::string& text) {
    bool ok = false;
    const double v = QString::fromStdString(text).trimmed().toDouble(&ok);
    if (!ok || v < 0 || v > 100) return std::nullopt;
    return static_cast<int>(v * 1000.0 + 0.5);
}

void fileFacts(const QString& path, RunInputs& in) {
    const QFileInfo info(path);
    if (!info.isFile()) return;
    in.imageSize = info.size();
    in.imageMtime = iso(info.lastModified().toUTC());
    QFile f(path);
    if (info.size() > kMaxHashedBytes || !f.open(QIODevice::ReadOnly)) return;
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (h.addData(&f)) in.imageSha256 = h.result().toHex().toStdString();
}

} // namespace

QString recordsPath(const Settings& settings, const std::filesystem::path& logFile) {
    const QString configured = QString::fromStdString(settings.readText("RECORDS", "PATH")).trimmed();
    if (configured.compare(QStringLiteral("off"), Qt::CaseInsensitive) == 0) return {};
    const QString logDir = QFileInfo(QString::fromStdString(logFile.string())).absolutePath();
    if (configured.isEmpty()) return QDir(logDir).filePath(QStringLiteral("records.sqlite"));
    return QDir(logDir).absoluteFilePath(configured);
}

std::string stationName(const Settings& settings) {
    const std::string configured = settings.readText("RECORDS", "STATION");
    if (!configured.empty()) return configured;
    return QSysInfo::machineHostName().toStdString();
}

Recorder::Recorder(CQORVENDlg& station, link::Link& link) : c_(station), link_(link) {
    c_.jobRan = [this](const jobs::JobInputs& in, const jobs::JobContext& ctx, const jobs::JobResult& r) {
        jobRan(in, ctx, r);
    };
    link_.setRunObserver(this);
}

Recorder::~Recorder() {
    link_.setRunObserver(nullptr);
    c_.jobRan = nullptr;
}

void Recorder::start() {
    station_ = stationName(c_.settings());
    const QString path = recordsPath(c_.settings(), c_.dirs().logFile);
    if (path.isEmpty()) return;
    std::string error;
    if (!store_.open(path.toStdString(), RecordStore::Mode::ReadWrite, error)) {
        c_.log().windowLog(strfmt(text::kCannotOpen, path.toStdString().c_str(), error.c_str()));
        warned_ = true; // the start has said it; a failing write would only repeat it
    }
}

RunInputs Recorder::inputsNow(const std::string& mode) {
    RunInputs in;
    const QDateTime now = QDateTime::currentDateTime();
    in.epochMs = now.toMSecsSinceEpoch();
    in.timeUtc = iso(now.toUTC());
    in.timeLocal = iso(now.toOffsetFromUtc(now.offsetFromUtc()));
    in.station = station_;
    in.programmer = programmerName(link_.programmer());
    {
        std::lock_guard lock(lock_);
        in.programmerFirmware = firmware_;
    }
    if (const chips::ModelRow* m = c_.selectedModel()) {
        in.model = std::string(m->model);
        in.family = std::string(chips::familyName(m->family));
    }
    in.mode = mode;
    return in;
}

void Recorder::jobRan(const jobs::JobInputs& inputs, const jobs::JobContext& ctx, const jobs::JobResult& r) {
    RunInputs in = inputsNow(ctx.programMode == 0 ? "online" : "offline " + std::to_string(ctx.programMode));
    if (ctx.model) {
        in.model = std::string(ctx.model->model);
        in.family = std::string(chips::familyName(ctx.model->family));
    }
    in.imagePath = ctx.imagePath;
    fileFacts(QString::fromStdString(ctx.imagePath), in);
    if (r.cksum) in.cksum = *r.cksum;
    if (r.checkWord) in.checkWord = *r.checkWord;
    in.uidBase = inputs.batchText;
    in.uidIncrement = inputs.incrementText;
    in.voltageText = inputs.voltageText;
    in.millivolts = millivoltsOf(inputs.voltageText);
    in.frequencyIndex = r.freqIndex.value_or(inputs.frequencyIndex);
    in.jobCode = r.code;
    prepared_.reset();
    if (r.code == jobs::kJobPrepared) {
        if (r.chipTransfer()) prepared_ = std::move(in);
        return;
    }
    ChipRecord refused = refusedJob(in);
    record(refused);
}

void Recorder::runBegun() {
    RunInputs in = prepared_ ? std::move(*prepared_) : inputsNow("online");
    prepared_.reset();
    std::lock_guard lock(lock_);
    inputs_ = std::move(in);
    events_.clear();
    judged_.reset();
    active_ = true;
    clock_.start();
}

void Recorder::runCancelled() {
    std::lock_guard lock(lock_);
    active_ = false;
    events_.clear();
}

void Recorder::reportRead(const link::ReportReading& reading, const link::Judgement& j, bool failed) {
    std::lock_guard lock(lock_);
    if (reading.firmwareVersion) firmware_ = strfmt("%08x", *reading.firmwareVersion);
    switch (j.role) {
    case link::ReportRole::Stage:
    case link::ReportRole::Verdict:
    case link::ReportRole::FollowUp:
        if (active_) events_.push_back({reading, failed, j.role == link::ReportRole::FollowUp});
        break;
    case link::ReportRole::Outside: standAlone_ = reading; break;
    case link::ReportRole::Stray: break;
    }
}

void Recorder::verdictTaken(bool pass, link::RunEnd how, link::ReportRole role) {
    if (role == link::ReportRole::Outside) {
        // The programmer's own key burnt a chip: a run of its own, recorded as it reported it.
        std::vector<StageEvent> events;
        {
            std::lock_guard lock(lock_);
            if (standAlone_) events.push_back({*standAlone_, !pass, false});
        }
        ChipRecord r = recordRun(inputsNow("stand-alone"), events, {pass, how, 0});
        record(r);
        return;
    }
    std::unique_lock lock(lock_);
    if (!active_) {
        lock.unlock();
        runBegun();
        lock.lock();
    }
    if (judged_) return; // one verdict per run
    ChipRecord r = recordRun(inputs_, events_, {pass, how, static_cast<int>(clock_.elapsed())});
    lock.unlock();
    record(r);
    lock.lock();
    judged_ = std::move(r);
}

void Recorder::runEnded(const link::RunResult& result) {
    std::unique_lock lock(lock_);
    if (!active_) return;
    active_ = false;
    std::optional<ChipRecord> r = std::move(judged_);
    judged_.reset();
    const std::vector<StageEvent> events = std::move(events_);
    events_.clear();
    const int duration = static_cast<int>(clock_.elapsed());
    lock.unlock();
    if (!r) {
        // A run that ended without a shown verdict still was an attempt.
        ChipRecord late = recordRun(inputs_, events, {result.pass, result.end, duration});
        record(late);
        return;
    }
    if (r->stages.size() == events.size() && r->durationMs == duration) return;
    r->stages = stagesOf(events);
    takeMeasures(*r, events);
    r->durationMs = duration;
    if (r->id) update(*r);
}

bool Recorder::record(ChipRecord& r) {
    if (!store_.isOpen()) return false;
    std::string error;
    if (!store_.add(r, error)) {
        writeFailed(error);
        return false;
    }
    lastId_ = r.id;
    emit recorded(r.id);
    return true;
}

bool Recorder::update(const ChipRecord& r) {
    std::string error;
    if (!store_.update(r, error)) {
        writeFailed(error);
        return false;
    }
    emit recorded(r.id);
    return true;
}

void Recorder::writeFailed(const std::string& why) {
    if (warned_) return;
    warned_ = true;
    c_.log().windowLog(strfmt(text::kCannotWrite, store_.path().c_str(), why.c_str()));
}

} // namespace kelvor::records
