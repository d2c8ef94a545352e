#include "cli/job_options.h"

#include "image/image_check.h"
#include "jobs/charger.h"
#include "jobs/field_rules.h"
#include "jobs/text_units.h"

#include <CLI/CLI.hpp>

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
std::optional<std::string> listEntry(const std::optional<std::string>& v, const char* name, int entries,
                                     int& field) {
    if (!v) return std::nullopt;
    const auto n = parseInt(*v);
    if (!n || *n < -1 || *n >= entries)
        return std::string(name) + ": expected an entry from -1 (none) to " + std::to_string(entries - 1) +
               ", got '" + *v + "'";
    field = *n;
    return std::nullopt;
}

std::optional<std::string> hexField(const std::optional<std::string>& v, const char* name, std::size_t minDigits,
                                    std::string& field) {
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

void addJobOptions(CLI::App& app, JobArgs& a) {
    const char* group = "Job (default: the pages' start-up contents for the model)";
    auto option = [&](const char* name, std::optional<std::string>& field, const char* value, const char* what) {
        app.add_option(name, field, what)->type_name(value)->group(group);
    };
    auto flag = [&](const char* name, bool& field, const char* what) { app.add_flag(name, field, what)->group(group); };
    option("--batch", a.batch, "HEX", "UID batch, at most 8 hex digits (FFFFFFFF)");
    option("--increment", a.increment, "HEX", "UID increment, at most 8 hex digits (FFFFFFFF)");
    option("--voltage", a.voltage, "TEXT", "measured 4.5 V supply, at most 5 characters (4.500)");
    flag("--auto-voltage", a.autoVoltage, "check the auto-voltage box (the voltage text becomes AUTO)");
    option("--freq", a.freq, "N", "calibration frequency entry -1..8 (the model's entry)");
    flag("--long-block", a.longBlock, "as if the programmer had reported its hardware version");
    option("--firmware", a.firmware, "N", "firmware list entry -1..2 (2)");
    option("--calibration", a.calibration, "S,E,O", "SLOSC, EEPROM, OP boxes, each 0 or 1 (1,1,0)");
    option("--ee-voltage", a.eeVoltage, "TEXT", "EEPROM initialisation voltage in mV, at most 6 digits (0)");
    option("--clock", a.clock, "N", "clock entry -1..3 (0)");
    option("--clock-pin", a.clockPin, "PIN", "CKOE pin of the model's list");
    flag("--select-32m", a.select32M, "check \"选择32M主频\"");
    flag("--fast-clock", a.fastClock, "check \"校准主频(13.56)\"");
    option("--erase", a.erase, "full|sectors|none", "erase choice of the model's page");
    option("--charger", a.charger, "LIST", "13 ConfigList values \"a,b,...,m,\"");
    option("--pdo", a.pdo, "TEXT", "check \"自定义PDO\" with this PDO text");
    option("--eeprom-file", a.eepromFile, "F", "check \"EEPROM烧录\" with this file");
    option("--factory-file", a.factoryFile, "F", "check \"出厂信息\" with this file");
    option("--start-address", a.startAddress, "HEX", "factory data start address, 1 to 8 hex digits (1F00)");
    option("--image-key", a.imageKey, "HEX", "key of enciphered images, 30 hex digits");
}

std::optional<std::string> jobOptionsFrom(const JobArgs& a, const chips::ModelRow& model, JobOptions& out) {
    jobs::JobInputs& in = out.inputs;
    in = jobs::defaultJobInputs(model);

    if (auto e = hexField(a.batch, "--batch", 0, in.batchText)) return e;
    if (auto e = hexField(a.increment, "--increment", 0, in.incrementText)) return e;

    const auto& voltage = a.voltage;
    const bool autoVoltage = a.autoVoltage;
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

    if (auto e = listEntry(a.freq, "--freq", 9, in.frequencyIndex)) return e;
    out.hwVersionSeen = a.longBlock;
    if (auto e = listEntry(a.firmware, "--firmware", 3, in.firmwareIndex)) return e;

    if (const auto& cal = a.calibration) {
        const std::string& c = *cal;
        auto bit = [](char ch) { return ch == '0' || ch == '1'; };
        if (c.size() != 5 || !bit(c[0]) || c[1] != ',' || !bit(c[2]) || c[3] != ',' || !bit(c[4]))
            return "--calibration: expected S,E,O with each 0 or 1, got '" + c + "'";
        in.calSlosc = c[0] == '1';
        in.calEeprom = c[2] == '1';
        in.calOp = c[4] == '1';
    }
    if (const auto& ee = a.eeVoltage) {
        if (ee->empty() || ee->size() > 6 || !allOf(*ee, isDigit))
            return "--ee-voltage: expected 1 to 6 digits, got '" + *ee + "'";
        in.eepromVoltageText = *ee;
    }
    if (auto e = listEntry(a.clock, "--clock", 4, in.clockIndex)) return e;
    if (const auto& pin = a.clockPin) {
        const auto pins = chips::pinNames(model.pins);
        if (pins.empty()) return "--clock-pin: model " + std::string(model.model) + " has no CKOE list";
        bool found = false;
        for (auto p : pins)
            if (p == *pin) found = true;
        if (!found) return "--clock-pin: '" + *pin + "' is not a CKOE pin of " + std::string(model.model);
        in.clockPinText = *pin;
    }
    in.select32M = a.select32M;
    in.fastClock = a.fastClock;
    if (const auto& erase = a.erase) {
        if (*erase != "full" && *erase != "sectors" && *erase != "none")
            return "--erase: expected full, sectors or none, got '" + *erase + "'";
        in.eraseFull = *erase == "full";
        in.eraseSectors = *erase == "sectors";
        in.eraseNone = *erase == "none";
    }
    if (const auto& charger = a.charger) {
        if (auto e = parseCharger(*charger, in.charger)) return e;
    }
    if (const auto& pdo = a.pdo) {
        // The text goes into the field as if typed; what the field keeps out would change it.
        if (const auto refused = jobs::firstRefusalWhenTyped(jobs::kFieldCustomPdo, jobs::utf16Units(*pdo)))
            return "--pdo: the custom PDO field keeps out character " + std::to_string(refused->index + 1) + " of '" +
                   *pdo + "'" + (refused->balloon.empty() ? "" : " (" + std::string(refused->balloon) + ")");
        in.charger.customPdo = true;
        in.charger.pdoText = *pdo;
    }
    if (const auto& ee = a.eepromFile) {
        in.eepromProgramming = true;
        in.eepromPath = *ee;
        out.sideFilesGiven = true;
    }
    if (const auto& factory = a.factoryFile) {
        in.factoryData = true;
        in.factoryPath = *factory;
        in.factoryListText = *factory;
        out.sideFilesGiven = true;
    }
    if (auto e = hexField(a.startAddress, "--start-address", 1, in.startAddressText)) return e;
    if (const auto& key = a.imageKey) {
        out.imageKey = image::parseImageKey(*key);
        if (!out.imageKey) return "--image-key: expected 30 hex digits, got '" + *key + "'";
    }
    return std::nullopt;
}

} // namespace kelvor::cli
