#include "jobs/charger.h"

#include "base/strfmt.h"
#include "jobs/family_table.h"
#include "jobs/params.h"
#include "jobs/text_units.h"

#include <algorithm>

namespace kelvor::jobs {
namespace {

constexpr std::string_view kPdoEmpty = "输入的PDO数据为空，请检查";
constexpr std::string_view kPdoMalformed = "输入的PDO数据存在异常，请检查";
constexpr std::string_view kPdoTooMany = "请确认输入的数据,数据最多不超过30个!";
constexpr std::string_view kPdoNoRoom = "PDO数据长度与HEX地址0x3fe0可用长度不匹配!";

std::uint8_t low8(int v) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(v) & 0xFF);
}

bool pdoFailure(Reporter& reporter, std::string_view text) {
    reporter.messageBox(kPdoCaption, text, BoxButtons::Ok, BoxIcon::None);
    return false;
}

bool isHexUnit(char16_t u) {
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
}

} // namespace

std::array<int, kConfigListValues> configListValues(const ChargerSelections& s) {
    return {s.icName,
            s.icNameChk,
            s.printSwitch ? 1 : 0,
            s.ocp,
            s.dischargeTime,
            s.power,
            s.shortCircuit ? 1 : 0,
            s.overVoltage ? 1 : 0,
            s.dApple ? 1 : 0,
            s.acApple ? 1 : 0,
            s.qcClass,
            s.cableCompensation,
            s.powerSave};
}

std::string configListText(const ChargerSelections& s) {
    std::string out;
    for (int v : configListValues(s))
        out += strfmt("%d,", v);
    return out;
}

void storeConfigList(const ChargerSelections& s, Settings& settings) {
    settings.writeText("KELVOR", "ConfigList", configListText(s));
}

void applyConfigList(std::string_view text, ChargerSelections& s) {
    auto setList = [](int& field, int value, int entries) {
        field = value >= 0 && value < entries ? value : -1;
    };
    std::size_t index = 0;
    std::size_t comma = text.find(',');
    while (comma != std::string_view::npos && comma > 0) {
        const int v = leadingInt(text.substr(0, comma));
        text.remove_prefix(comma + 1);
        switch (index) {
        case 0:
        case 1:
            setList(s.icName, v, kConfigListEntries[0]);
            s.icNameChk = s.icName;
            break;
        case 2:
            s.printSwitch = v != 0;
            break;
        case 3:
            setList(s.ocp, v, kConfigListEntries[3]);
            break;
        case 4:
            setList(s.dischargeTime, v, kConfigListEntries[4]);
            break;
        case 5:
            setList(s.power, v, kConfigListEntries[5]);
            break;
        case 6:
            s.shortCircuit = v != 0;
            break;
        case 7:
            s.overVoltage = v != 0;
            break;
        case 8:
            s.dApple = v != 0;
            break;
        case 9:
            s.acApple = v != 0;
            break;
        case 10:
            setList(s.qcClass, v, kConfigListEntries[10]);
            break;
        case 11:
            setList(s.cableCompensation, v, kConfigListEntries[11]);
            break;
        case 12:
            setList(s.powerSave, v, kConfigListEntries[12]);
            break;
        default:
            break;
        }
        ++index;
        comma = text.find(',');
    }
}

std::array<std::uint8_t, 44> buildChargerBlock(chips::Family family, const ChargerSelections& s) {
    std::array<std::uint8_t, 44> b{};
    const bool h02 = family == chips::Family::EP39H02;
    b[0x1C] = low8(s.icName);
    b[0x1D] = low8(s.icNameChk);
    b[0x1E] = s.printSwitch ? 1 : 0;
    b[0x1F] = low8(s.ocp);
    b[0x24] = s.dApple ? 1 : 0;
    b[0x25] = s.acApple ? 1 : 0;
    b[0x26] = low8(s.qcClass);
    b[0x27] = low8(s.cableCompensation);
    if (h02) {
        // EP39H02 has no discharge time, power profile, over-voltage switch or power-save time; its
        // short-circuit switch sits where EP39H01 keeps the over-voltage one.
        b[0x23] = s.shortCircuit ? 1 : 0;
    } else {
        b[0x20] = low8(s.dischargeTime);
        b[0x21] = low8(s.power);
        b[0x22] = s.shortCircuit ? 1 : 0;
        b[0x23] = s.overVoltage ? 1 : 0;
        b[0x29] = low8(s.powerSave);
    }
    return b;
}

std::optional<CustomPdo> parsePdoText(std::string_view text, Reporter& reporter) {
    const std::u16string units = utf16Units(text);
    if (units.empty()) {
        pdoFailure(reporter, kPdoEmpty);
        return std::nullopt;
    }
    if (units.back() != u',') {
        pdoFailure(reporter, kPdoMalformed);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool commaPlace = (i + 1) % 3 == 0;
        // Items must be real hex digits: a pasted "0G," would otherwise become the byte 0x17.
        if (commaPlace ? units[i] != u',' : !isHexUnit(units[i])) {
            pdoFailure(reporter, kPdoMalformed);
            return std::nullopt;
        }
    }
    const int items = static_cast<int>(units.size() / 3);
    auto item = [&](int j) {
        return hexTextValue(utf8FromUnits(units.substr(static_cast<std::size_t>(3 * j), 2)));
    };
    const int count = item(0);
    if (count != items - 2) {
        pdoFailure(reporter, kPdoMalformed);
        return std::nullopt;
    }
    if (count > 30) {
        pdoFailure(reporter, kPdoTooMany);
        return std::nullopt;
    }
    CustomPdo pdo;
    pdo.count = count;
    for (int j = 0; j < items; ++j)
        pdo.bytes[static_cast<std::size_t>(j)] = low8(item(j));
    return pdo;
}

int pdoFreeSpace(const image::ImageBuffers& buffers) {
    const std::uint8_t* p = buffers.programArea() + kPdoOffset;
    int n = 0;
    while (n < kPdoMaxBytes && p[n] == 0xFF)
        ++n;
    return n;
}

bool placeCustomPdo(const ChargerSelections& s, image::ImageBuffers& buffers, Reporter& reporter) {
    if (!s.customPdo) return true;
    const auto pdo = parsePdoText(s.pdoText, reporter);
    if (!pdo) return false;
    if (pdoFreeSpace(buffers) < pdo->size()) return pdoFailure(reporter, kPdoNoRoom);
    std::copy_n(pdo->bytes.begin(), pdo->size(), buffers.transferImage.begin() + kPdoOffset);
    return true;
}

} // namespace kelvor::jobs
