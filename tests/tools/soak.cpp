// Fault soak: one station burns chips against the simulated programmer for as long as asked, each
// burn under a fault drawn from a seeded generator, and checks what a line relies on: every run
// ends within its bound with exactly one verdict, the verdict is the programmer's own decision
// (a failure wherever that decision could not reach the station), and a programmer unplugged in
// the middle of a transfer, or left without an answer at one of its waits, gives good burns again
// once it is plugged back in or the fault has passed.
//   kelvor-soak BURNS [SEED]      exit 0: every check held; 1: a check failed (each one printed)
#include "jobs/job.h"
#include "link/sim/simulated_programmer.h"
#include "link/station/link.h"
#include "link/station/transfer.h"
#include "support/station_fixture.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace kelvor;
using namespace kelvor::link;

namespace {

// Short bounds keep a silent programmer's run brief; the hang bound is far above all of them.
constexpr std::uint32_t kVerdictMs = 300;
constexpr std::uint32_t kQuietMs = 100;
constexpr auto kAckTimeout = std::chrono::milliseconds(300);
constexpr int kHangMs = 20000;

struct Scenario {
    const char* name;
    const char* faults;  // as --sim-fault takes them
    bool hidesDecision;  // the programmer may decide, but its reports need not reach the station
    bool unplug;         // pulled out at a random point of the transfer, plugged back afterwards
    bool pagedOnly;      // the fault acts on a transfer's waits, which plain transfers have none of
};

const Scenario kScenarios[] = {
    {"clean", "", false, false, false},
    {"ng-rate", "ng-rate", false, false, false}, // rate drawn per burn
    {"blank-fail", "blank-fail", false, false, false},
    {"verify-fail", "verify-fail", false, false, false},
    {"id-error", "id-error", false, false, false},
    {"checksum-error", "checksum-error", false, false, false},
    {"garbage", "garbage", true, false, false},
    {"silent", "silent", true, false, false},
    {"no-ack", "no-ack", false, false, true},
    {"no-ack-first", "no-ack-first", false, false, true},
    {"no-ack-middle", "no-ack-middle", false, false, true},
    {"no-ack-last", "no-ack-last", false, false, true}, // burnt: its pass or fail still reaches the station
    {"unplug", "", true, true, false},
    {"unplug-mid-transfer", "unplug-mid-transfer", true, true, false},
};

// A plain transfer, the classic procedure and a paged one; the demo image suits all three.
const char* const kModels[] = {"EP27C42", "EP2702", "EP39F03"};

class Soak {
public:
    explicit Soak(std::uint64_t seed) : rng_(seed) {
        sim::SimOptions o;
        o.timing = 0;
        o.seed = seed;
        sim_ = std::make_shared<sim::SimulatedProgrammer>(o);
        link_ = std::make_unique<Link>(f_.station(), sim_, nullptr);
        f_.station().setLinkHooks(link_.get());
        link_->setRunBounds(kVerdictMs, kQuietMs);
        TransferTiming t;
        t.chunkPause = std::chrono::microseconds(200); // lets an unplug land inside the transfer
        t.sendPause = std::chrono::microseconds(200);
        t.ackTimeout = kAckTimeout;
        link_->transfers().setTiming(t);
        QObject::connect(link_.get(), &Link::runFinished, [this](const RunResult& r) { results_.push_back(r); });
        QObject::connect(link_.get(), &Link::verdict, [this](bool) { ++verdicts_; });
        f_.start();
        wait([this] { return link_->detectAnswers > 0; }, 3000);
        image_ = f_.path("demo.hex");
        std::ofstream(image_, std::ios::binary) << ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n";
        f_.station().imagePath = QString::fromStdString(image_);
    }
    ~Soak() { link_.reset(); }

    void burn(int n) {
        const Scenario& sc = kScenarios[std::uniform_int_distribution<std::size_t>(0, std::size(kScenarios) - 1)(rng_)];
        std::string model = kModels[std::uniform_int_distribution<std::size_t>(0, std::size(kModels) - 1)(rng_)];
        if (sc.pagedOnly) model = "EP39F03";
        std::string faults = sc.faults;
        if (faults == "ng-rate") faults += "=" + std::to_string(std::uniform_int_distribution<int>(1, 100)(rng_));
        const std::string what = "burn " + std::to_string(n) + " " + model + " " + sc.name + " [" + faults + "]";
        ++tally_[sc.name];

        f_.station().selectModel(*chips::findModel(model));
        sim_->setFaults(sim::parseFaults(faults).faults);
        const std::size_t decided = sim_->burnOutcomes().size();
        const std::size_t runs = results_.size();
        const int verdicts = verdicts_;
        // Somewhere in the transfer, counted in received bytes (the demo image's transfer is short).
        const std::size_t unplugAt = std::uniform_int_distribution<std::size_t>(1, 2048)(rng_);
        bool pulled = false;

        f_.page(page::kIsp).click(controlKey(1042));
        if (f_.station().lastJobCode != jobs::kJobPrepared) return fail(what, "the job was not prepared");
        const bool ended = wait([&] {
            if (sc.unplug && !pulled && (sim_->receivedBytes().size() >= unplugAt || !link_->transfers().busy())) {
                if (link_->transfers().busy()) ++pulledMidTransfer_;
                sim_->unplug();
                pulled = true;
            }
            return results_.size() > runs;
        }, kHangMs);
        if (!ended) return fail(what, "the run did not end within " + std::to_string(kHangMs) + " ms");
        settle();
        const RunResult r = results_.back();
        if (results_.size() != runs + 1) fail(what, "more than one run ended");
        if (verdicts_ - verdicts != 1) fail(what, std::to_string(verdicts_ - verdicts) + " verdicts");

        const auto outcomes = sim_->burnOutcomes();
        const std::size_t newDecisions = outcomes.size() - decided;
        if (newDecisions > 1) fail(what, "the programmer decided more than once");
        const std::optional<bool> truth = newDecisions ? std::optional(outcomes.back()) : std::nullopt;
        if (r.pass && truth != true) fail(what, "passed without the programmer's pass");
        if (!sc.hidesDecision && truth && r.pass != *truth)
            fail(what, std::string("shown ") + (r.pass ? "OK" : "NG") + ", the programmer decided " + (*truth ? "OK" : "NG"));
        if (sc.hidesDecision && !sc.unplug && r.pass) fail(what, "passed though its reports could not arrive");
        r.pass ? ++passed_ : ++failed_;

        if (sc.unplug) {
            if (!pulled) sim_->unplug();
            sim_->plug();
            if (!wait([this] { return link_->linkOpen(); }, 5000)) return fail(what, "the programmer did not come back");
            // Service is back: a clean burn passes.
            cleanBurnPasses(what, "re-plugging");
        } else if (sc.pagedOnly) {
            // A transfer given up at its wait leaves the programmer ready for the next chip.
            cleanBurnPasses(what, "the unanswered wait");
        }
    }

    int report(int burns) const {
        std::printf("%d burns: %d OK, %d NG, %d unplugged mid-transfer; %d checks failed\n", burns, passed_, failed_,
                    pulledMidTransfer_, problems_);
        for (const auto& [name, count] : tally_) std::printf("  %-20s %d\n", name.c_str(), count);
        return problems_ ? 1 : 0;
    }

private:
    void cleanBurnPasses(const std::string& what, const std::string& after) {
        sim_->setFaults({});
        const std::size_t before = results_.size();
        f_.page(page::kIsp).click(controlKey(1042));
        if (!wait([&] { return results_.size() > before; }, kHangMs)) return fail(what, "no run ended after " + after);
        settle();
        if (!results_.back().pass) fail(what, "the first burn after " + after + " failed");
    }
    bool wait(const std::function<bool()>& done, int ms) { return test::processEventsUntil(done, ms); }
    void settle() { QCoreApplication::processEvents(); }
    void fail(const std::string& what, const std::string& why) {
        ++problems_;
        std::fprintf(stderr, "%s: %s\n", what.c_str(), why.c_str());
    }

    std::mt19937_64 rng_;
    test::StationFixture f_;
    std::shared_ptr<sim::SimulatedProgrammer> sim_;
    std::unique_ptr<Link> link_;
    std::string image_;
    std::vector<RunResult> results_;
    int verdicts_ = 0;
    int passed_ = 0, failed_ = 0, problems_ = 0, pulledMidTransfer_ = 0;
    std::map<std::string, int> tally_;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kelvor-soak BURNS [SEED]\n");
        return 2;
    }
    const int burns = std::atoi(argv[1]);
    const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 1;
    if (burns < 1) {
        std::fprintf(stderr, "kelvor-soak: BURNS must be a number from 1\n");
        return 2;
    }
    std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
    Soak soak(seed);
    for (int n = 0; n < burns; ++n) soak.burn(n);
    return soak.report(burns);
}
