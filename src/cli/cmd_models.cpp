// kelvor models [--json]: the chip catalog, one model row per line in command-id order.
#include "base/json.h"
#include "chips/catalog.h"
#include "cli/cli.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace kelvor::cli {
namespace {

using chips::EepromOption;
using chips::SizeGroup;

const char* sizeName(SizeGroup g) {
    switch (g) {
    case SizeGroup::All: return "all";
    case SizeGroup::Otp: return "otp";
    case SizeGroup::None: break;
    }
    return "none";
}

const char* eepromName(EepromOption e) {
    switch (e) {
    case EepromOption::Option: return "option";
    case EepromOption::Off: return "off";
    case EepromOption::Untouched: break;
    }
    return "none";
}

Json modelJson(const chips::ModelRow& r) {
    Json pins = Json::array();
    for (auto p : chips::pinNames(r.pins)) pins.push(p);
    Json o = Json::object();
    o.set("model", r.model);
    o.set("family", chips::familyName(r.family));
    o.set("command", r.command);
    o.set("menuPosition", r.menuPosition >= 0 ? Json(r.menuPosition) : Json());
    o.set("customKey", r.customKey.empty() ? Json() : Json(r.customKey));
    o.set("frequencyEntry", r.frequencyEntry);
    o.set("frequencyEnabled", r.frequencyEnabled);
    o.set("uidShown", r.uidShown);
    o.set("sizeGroup", sizeName(r.sizeGroup));
    o.set("eeprom", eepromName(r.eeprom));
    o.set("pins", std::move(pins));
    o.set("caption", r.caption);
    o.set("logText", r.logText);
    o.set("statusText", r.statusText);
    return o;
}

int runModels(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    auto rest = ctx.args.finish();
    if (!ctx.args.ok() || !rest.empty()) {
        ctx.err << "usage: kelvor models [--json]\n";
        return kExitUsage;
    }
    if (json) {
        Json all = Json::array();
        for (const auto& r : chips::models()) all.push(modelJson(r));
        ctx.out << all.dump() << "\n";
        return kExitOk;
    }
    for (const auto& r : chips::models()) {
        ctx.out << std::left << std::setw(10) << r.model << " " << std::setw(9) << chips::familyName(r.family)
                << " " << r.command << "  menu " << std::setw(3)
                << (r.menuPosition >= 0 ? std::to_string(r.menuPosition) : "-") << " freq " << r.frequencyEntry
                << (r.frequencyEnabled ? "+" : "-") << " uid " << (r.uidShown ? "shown " : "hidden") << " size "
                << std::setw(4) << sizeName(r.sizeGroup) << " eeprom " << std::setw(6) << eepromName(r.eeprom)
                << " pins " << std::setw(2) << chips::pinNames(r.pins).size() << " key "
                << (r.customKey.empty() ? "-" : std::string(r.customKey)) << "\n";
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("models", "models [--json]                 list the chip catalog", runModels);

} // namespace kelvor::cli
