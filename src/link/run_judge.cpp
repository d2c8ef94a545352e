#include "link/run_judge.h"

namespace kelvor::link {
namespace {

// The burn's totals lines: nothing of that burn follows them.
bool isClosingStatus(std::uint8_t code) {
    switch (code) {
    case 0x09:
    case 0x8B:
    case 0x8C:
    case 0x8D:
    case 0x8E: return true;
    default: return false;
    }
}

// "HEX校验和错误!" and "脱机烧录FLASH校验和错误!": the programmer refused the image.
bool isRefusalStatus(std::uint8_t code) { return code == 0x48 || code == 0x0E; }

// The results of the programmer's own key in stand-alone mode: its runs, not the station's.
bool isStandAloneResult(std::uint8_t code) { return code == 0x0F || code == 0x10; }

} // namespace

RunPlan runPlan(jobs::TransferVariant variant, int modeValue, const jobs::JobFamily& family) {
    using jobs::TransferVariant;
    RunPlan p;
    p.verdictMs = static_cast<std::uint32_t>(family.verdictMs);
    switch (variant) {
    case TransferVariant::Plain:
        if (modeValue != 0) {
            p.kind = RunKind::StoreByReport;
            p.confirmation = 0x49; // "HEX校验OK!" after "FLASH编程成功!"
        }
        break;
    case TransferVariant::Paged:
        // A stored paged image is acknowledged page by page and at its tail.
        if (modeValue != 0) p.kind = RunKind::ByTransfer;
        break;
    case TransferVariant::OfflineBlock:
        if (modeValue <= 0) {
            p.kind = RunKind::ByTransfer; // blocks checked as they arrive, no final command
        } else if (modeValue >= 4) {
            p.kind = RunKind::StoreByReport;
            p.confirmation = 0x0D; // "FLASH编程成功!" after command 2
        }
        break;
    case TransferVariant::Eeprom:
    case TransferVariant::UserData: p.kind = RunKind::ByTransfer; break;
    }
    return p;
}

ReportFacts reportFacts(std::span<const std::uint8_t, kReportSize> report, const std::vector<Effect>& effects) {
    ReportFacts f;
    if ((report[0] & 0x0F) == 3 && (report[0] >> 4) == 1) f.status = canonicalStatus(report[2]);
    for (const Effect& e : effects) {
        if (e.kind == Effect::Kind::Progress) f.progress = true;
        if (e.kind != Effect::Kind::Notify) continue;
        if (e.notification() == Notification::ResultPass) f.pass = true;
        if (e.notification() == Notification::ResultFail) f.fail = true;
    }
    return f;
}

std::vector<Effect> effectsFor(const Judgement& j, std::vector<Effect> effects) {
    auto ending = [](const Effect& e) {
        return e.kind == Effect::Kind::Notify &&
               (e.notification() == Notification::ResultPass || e.notification() == Notification::ResultFail);
    };
    auto drop = [&](const Effect& e) {
        switch (j.role) {
        case ReportRole::Outside: return false;
        case ReportRole::Stray: return ending(e) || e.kind == Effect::Kind::Progress || e.kind == Effect::Kind::Sound;
        case ReportRole::FollowUp: return ending(e) || e.kind == Effect::Kind::Sound;
        case ReportRole::Stage:
        case ReportRole::Verdict: return ending(e);
        }
        return false;
    };
    std::erase_if(effects, drop);
    // Before the report's closing WM_CONTROLS_ENABLE.
    const auto at = effects.empty() ? effects.end() : effects.end() - 1;
    if (j.role == ReportRole::Verdict) {
        const auto n = j.pass ? Notification::ResultPass : Notification::ResultFail;
        effects.insert(at, Effect{Effect::Kind::Notify, {}, static_cast<int>(n)});
    } else if (j.late) {
        effects.insert(at, Effect{Effect::Kind::EventLog, std::string(run_text::kLateVerdict), 0});
    }
    return effects;
}

void RunJudge::begin(const RunPlan& plan, std::uint32_t now) {
    plan_ = plan;
    active_ = true;
    armed_ = transferDone_ = linkClosed_ = closed_ = delivering_ = false;
    timedOutLast_ = false;
    verdict_.reset();
    end_ = RunEnd::Judged;
    lastActivity_ = now;
}

void RunJudge::burnCommand() {
    if (active_) armed_ = true;
}

bool RunJudge::isVerdict(const ReportFacts& f, bool& pass) const {
    const bool refused = f.fail || (f.status && isRefusalStatus(*f.status));
    if (refused) {
        pass = false;
        return true;
    }
    switch (plan_.kind) {
    case RunKind::Burn: pass = true; return f.pass;
    case RunKind::StoreByReport: pass = true; return f.status && *f.status == plan_.confirmation;
    case RunKind::ByTransfer: return false;
    }
    return false;
}

bool RunJudge::closes(const ReportFacts& f) const {
    if (!f.status) return false;
    if (isClosingStatus(*f.status)) return true;
    return plan_.kind == RunKind::StoreByReport && (*f.status == plan_.confirmation || isRefusalStatus(*f.status));
}

Judgement RunJudge::onReport(const ReportFacts& f, std::uint32_t now) {
    const bool ending = f.pass || f.fail;
    if (!active_ || !armed_) {
        if (!ending && !f.progress) return {ReportRole::Outside};
        if (!active_ && f.status && isStandAloneResult(*f.status)) return {ReportRole::Outside};
        Judgement j{ReportRole::Stray};
        if (!active_ && ending && timedOutLast_) {
            j.late = true;
            timedOutLast_ = false; // one note per timed-out run
        }
        return j;
    }
    lastActivity_ = now;
    bool pass = false;
    if (!verdict_ && isVerdict(f, pass)) {
        verdict_ = pass;
        end_ = RunEnd::Judged;
        delivering_ = true;
        closed_ = closes(f);
        return {ReportRole::Verdict, pass};
    }
    if (verdict_) {
        if (closes(f)) closed_ = true;
        return {ReportRole::FollowUp};
    }
    return {ReportRole::Stage};
}

void RunJudge::delivered() { delivering_ = false; }

std::optional<bool> RunJudge::transferEnded(bool done, bool linkClosed, std::uint32_t now, bool refused) {
    if (!active_) return std::nullopt;
    transferDone_ = true;
    linkClosed_ = linkClosed_ || linkClosed;
    lastActivity_ = now;
    if (verdict_) return std::nullopt;
    if (!done) {
        verdict_ = false;
        end_ = linkClosed_ ? RunEnd::LinkClosed : refused ? RunEnd::TransferRefused : RunEnd::TransferFailed;
        return false;
    }
    if (plan_.kind == RunKind::ByTransfer) {
        verdict_ = true;
        closed_ = true;
        return true;
    }
    return std::nullopt;
}

std::optional<RunResult> RunJudge::poll(std::uint32_t now, bool linkOpen) {
    if (!active_ || delivering_ || !transferDone_) return std::nullopt;
    if (!linkOpen) linkClosed_ = true;
    RunResult r;
    if (!verdict_) {
        if (linkClosed_) {
            end_ = RunEnd::LinkClosed;
        } else if (now - lastActivity_ >= plan_.verdictMs) {
            end_ = RunEnd::TimedOut;
        } else {
            return std::nullopt;
        }
        verdict_ = false;
        r.judgedAtEnd = true;
    } else if (!closed_ && !linkClosed_ && now - lastActivity_ < plan_.quietMs) {
        return std::nullopt;
    }
    // A transfer that failed because the programmer left the bus ended with the link.
    if (linkClosed_ && end_ == RunEnd::TransferFailed) end_ = RunEnd::LinkClosed;
    active_ = false;
    timedOutLast_ = end_ == RunEnd::TimedOut;
    r.pass = *verdict_;
    r.end = end_;
    return r;
}

} // namespace kelvor::link
