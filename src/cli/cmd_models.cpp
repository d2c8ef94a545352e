// kelvor models [--json]: the chip catalog, one model row per line in command-id order.
#include "base/json_line.h"
#include "chips/catalog.h"
#include "cli/cli.h"

#include <CLI/CLI.hpp>

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
    for (auto p : chips::pinNames(r.pins)) pins.push_back(p);
    Json o = Json::object();
    o["model"] = r.model;
    o["family"] = chips::familyName(r.family);
    o["command"] = r.command;
    o["menuPosition"] = r.menuPosition >= 0 ? Json(r.menuPosition) : Json();
    o["customKey"] = r.customKey.empty() ? Json() : Json(r.customKey);
    o["frequencyEntry"] = r.frequencyEntry;
    o["frequencyEnabled"] = r.frequencyEnabled;
    o["uidShown"] = r.uidShown;
    o["sizeGroup"] = sizeName(r.sizeGroup);
    o["eeprom"] = eepromName(r.eeprom);
    o["pins"] = std::move(pins);
    o["caption"] = r.caption;
    o["logText"] = r.logText;
    o["statusText"] = r.statusText;
    return o;
}

struct ModelsArgs {
    bool json = false;
};

void addModelsOptions(CLI::App& app, ModelsArgs& a) {
    app.add_flag("--json", a.json, "print one JSON array of the model rows");
}

int runModels(Context& ctx, const ModelsArgs& a) {
    const bool json = a.json;
    if (json) {
        Json all = Json::array();
        for (const auto& r : chips::models()) all.push_back(modelJson(r));
        ctx.out << jsonLine(all) << "\n";
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

KELVOR_CLI_COMMAND("models", "models [--json]", "List the chip catalog",
                   ModelsArgs, addModelsOptions, runModels);

} // namespace kelvor::cli
