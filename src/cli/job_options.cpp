#include "cli/job_options.h"

#include "image/image_check.h"
#include "jobs/charger.h"
#include "jobs/field_rules.h"
#include "jobs/text_units.h"

#include <charconv>

namespace kelvor::cli {
namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool allOf(const std::string& s, bool (*pred)(char)) {
    for (char c : s)
        if (!pred(c)) return false;
    return true;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<int> parseInt(std::string_view s) {
    int v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

// A list entry: -1 (no selection) up to entries - 1.
std::optional<std::string> listEntry(ArgParser& args, const char* name, int entries, int& field) {
    const auto v = args.option(name);
    if (!v) return std::nullopt;
    const auto n = parseInt(*v);
    if (!n || *n < -1 || *n >= entries)
        return std::string(name) + ": expected an entry from -1 (none) to " + std::to_string(entries - 1) +
               ", got '" + *v + "'";
    field = *n;
    return std::nullopt;
}

std::optional<std::string> hexField(ArgParser& args, const char* name, std::size_t minDigits,
                                    std::string& field) {
    const auto v = args.option(name);
    if (!v) return std::nullopt;
    if (v->size() < minDigits || v->size() > 8 || !allOf(*v, isHexDigit))
        return std::string(name) + ": expected " + (minDigits ? "1 to 8" : "at most 8") +
               " hex digits, got '" + *v + "'";
    field = *v;
    return std::nullopt;
}

std::optional<std::string> parseCharger(const std::string& text, jobs::ChargerSelections& s) {
    const std::string err =
        "--charger: expected 13 values, each followed by \",\" (ConfigList form), got '" + text + "'";
    std::array<int, jobs::kConfigListValues> values{};
    std::string_view rest(text);
    for (int i = 0; i < jobs::kConfigListValues; ++i) {
        const auto comma = rest.find(',');
        if (comma == std::string_view::npos) return err;
        const auto v = parseInt(rest.substr(0, comma));
        if (!v) return err;
        const int entries = jobs::kConfigListEntries[static_cast<std::size_t>(i)];
        const bool ok = entries == 0 ? (*v == 0 || *v == 1) : (*v >= -1 && *v < entries);
        if (!ok)
            return "--charger: value " + std::to_string(i) + " (" + std::to_string(*v) + ") is out of range";
        values[static_cast<std::size_t>(i)] = *v;
        rest.remove_prefix(comma + 1);
    }
    if (!rest.empty()) return err;
    if (values[0] != values[1])
        return std::string("--charger: IC_NAME_CHK must equal IC_NAME (it follows it on the page)");
    s.icName = values[0];
    s.icNameChk = values[1];
    s.printSwitch = values[2] != 0;
    s.ocp = values[3];
    s.dischargeTime = values[4];
    s.power = values[5];
    s.shortCircuit = values[6] != 0;
    s.overVoltage = values[7] != 0;
    s.dApple = values[8] != 0;
    s.acApple = values[9] != 0;
    s.qcClass = values[10];
    s.cableCompensation = values[11];
    s.powerSave = values[12];
    return std::nullopt;
}

} // namespace

const char* const kJobOptionsHelp =
    "job options (default: the pages' start-up contents for the model):\n"
    "  --batch HEX            UID batch, at most 8 hex digits (FFFFFFFF)\n"
    "  --increment HEX        UID increment, at most 8 hex digits (FFFFFFFF)\n"
    "  --voltage TEXT         measured 4.5 V supply, at most 5 characters (4.500)\n"
    "  --auto-voltage         check the auto-voltage box (the voltage text becomes AUTO)\n"
    "  --freq N               calibration frequency entry -1..8 (the model's entry)\n"
    "  --long-block           as if the programmer had reported its hardware version\n"
    "  --firmware N           firmware list entry -1..2 (2)\n"
    "  --calibration S,E,O    SLOSC, EEPROM, OP boxes, each 0 or 1 (1,1,0)\n"
    "  --ee-voltage TEXT      EEPROM initialisation voltage in mV, at most 6 digits (0)\n"
    "  --clock N              clock entry -1..3 (0)\n"
    "  --clock-pin PIN        CKOE pin of the model's list\n"
    "  --select-32m           check \"选择32M主频\"\n"
    "  --fast-clock           check \"校准主频(13.56)\"\n"
    "  --erase full|sectors|none\n"
    "  --charger LIST         13 ConfigList values \"a,b,...,m,\"\n"
    "  --pdo TEXT             check \"自定义PDO\" with this PDO text\n"
    "  --eeprom-file F        check \"EEPROM烧录\" with this file\n"
    "  --factory-file F       check \"出厂信息\" with this file\n"
    "  --start-address HEX    factory data start address, 1 to 8 hex digits (1F00)\n"
    "  --image-key HEX        key of enciphered images, 30 hex digits\n";

std::optional<std::string> parseJobOptions(ArgParser& args, const chips::ModelRow& model, JobOptions& out) {
    jobs::JobInputs& in = out.inputs;
    in = jobs::defaultJobInputs(model);

    if (auto e = hexField(args, "--batch", 0, in.batchText)) return e;
    if (auto e = hexField(args, "--increment", 0, in.incrementText)) return e;

    const auto voltage = args.option("--voltage");
    const bool autoVoltage = args.flag("--auto-voltage");
    if (voltage && autoVoltage) return std::string("--voltage and --auto-voltage exclude each other");
    if (voltage) {
        if (jobs::utf16Units(*voltage).size() > 5)
            return "--voltage: the field holds at most 5 characters, got '" + *voltage + "'";
        in.voltageText = *voltage;
    }
    if (autoVoltage) {
        in.autoVoltage = true;
        in.voltageText = "AUTO";
    }

    if (auto e = listEntry(args, "--freq", 9, in.frequencyIndex)) return e;
    out.hwVersionSeen = args.flag("--long-block");
    if (auto e = listEntry(args, "--firmware", 3, in.firmwareIndex)) return e;

    if (const auto cal = args.option("--calibration")) {
        const std::string& c = *cal;
        auto bit = [](char ch) { return ch == '0' || ch == '1'; };
        if (c.size() != 5 || !bit(c[0]) || c[1] != ',' || !bit(c[2]) || c[3] != ',' || !bit(c[4]))
            return "--calibration: expected S,E,O with each 0 or 1, got '" + c + "'";
        in.calSlosc = c[0] == '1';
        in.calEeprom = c[2] == '1';
        in.calOp = c[4] == '1';
    }
    if (const auto ee = args.option("--ee-voltage")) {
        if (ee->empty() || ee->size() > 6 || !allOf(*ee, isDigit))
            return "--ee-voltage: expected 1 to 6 digits, got '" + *ee + "'";
        in.eepromVoltageText = *ee;
    }
    if (auto e = listEntry(args, "--clock", 4, in.clockIndex)) return e;
    if (const auto pin = args.option("--clock-pin")) {
        const auto pins = chips::pinNames(model.pins);
        if (pins.empty()) return "--clock-pin: model " + std::string(model.model) + " has no CKOE list";
        bool found = false;
        for (auto p : pins)
            if (p == *pin) found = true;
        if (!found) return "--clock-pin: '" + *pin + "' is not a CKOE pin of " + std::string(model.model);
        in.clockPinText = *pin;
    }
    in.select32M = args.flag("--select-32m");
    in.fastClock = args.flag("--fast-clock");
    if (const auto erase = args.option("--erase")) {
        if (*erase != "full" && *erase != "sectors" && *erase != "none")
            return "--erase: expected full, sectors or none, got '" + *erase + "'";
        in.eraseFull = *erase == "full";
        in.eraseSectors = *erase == "sectors";
        in.eraseNone = *erase == "none";
    }
    if (const auto charger = args.option("--charger")) {
        if (auto e = parseCharger(*charger, in.charger)) return e;
    }
    if (const auto pdo = args.option("--pdo")) {
        // The text goes into the field as if typed; what the field keeps out would change it.
        if (const auto refused = jobs::firstRefusalWhenTyped(jobs::kFieldCustomPdo, jobs::utf16Units(*pdo)))
            return "--pdo: the custom PDO field keeps out character " + std::to_string(refused->index + 1) + " of '" +
                   *pdo + "'" + (refused->balloon.empty() ? "" : " (" + std::string(refused->balloon) + ")");
        in.charger.customPdo = true;
        in.charger.pdoText = *pdo;
    }
    if (const auto ee = args.option("--eeprom-file")) {
        in.eepromProgramming = true;
        in.eepromPath = *ee;
        out.sideFilesGiven = true;
    }
    if (const auto factory = args.option("--factory-file")) {
        in.factoryData = true;
        in.factoryPath = *factory;
        in.factoryListText = *factory;
        out.sideFilesGiven = true;
    }
    if (auto e = hexField(args, "--start-address", 1, in.startAddressText)) return e;
    if (const auto key = args.option("--image-key")) {
        out.imageKey = image::parseImageKey(*key);
        if (!out.imageKey) return "--image-key: expected 30 hex digits, got '" + *key + "'";
    }
    if (!args.ok()) return args.error();
    return std::nullopt;
}

} // namespace kelvor::cli
