// kelvor crc FILE [--json]: crc16Xmodem and imageCrc of a whole file, read in chunks.
#include "base/file_read.h"
#include "base/json_line.h"
#include "base/strfmt.h"
#include "cli/cli.h"
#include "image/checksums.h"
#include "image/readers.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace kelvor::cli {
namespace {

// The largest file any reader of the station takes; a device or an endless file is refused.
constexpr std::size_t kCrcLimit = image::kMaxHexFileSize;

struct CrcArgs {
    std::vector<std::string> files;
    bool json = false;
};

void addCrcOptions(CLI::App& app, CrcArgs& a) {
    app.add_option("FILE", a.files, "the file, read whole")->type_name("");
    app.add_flag("--json", a.json, "print one JSON object");
}

int runCrc(Context& ctx, const CrcArgs& a) {
    const bool json = a.json;
    if (a.files.size() != 1) return ctx.usage(a.files.empty() ? "a FILE is required" : "only one FILE is taken");
    const std::string& path = a.files.front();
    std::uint16_t xmodem = 0, modbus = 0xFFFF;
    const FileReadInfo info =
        readRegularFileChunks(path, kCrcLimit, [&](std::span<const std::uint8_t> c) {
            xmodem = image::crc16XmodemUpdate(xmodem, c.data(), c.size());
            modbus = image::modbusCrcUpdate(modbus, c.data(), c.size());
        });
    if (info.status != FileReadStatus::Ok) {
        ctx.err << "kelvor crc: " << path << " " << fileReadProblem(info, kCrcLimit) << "\n";
        return kExitUsage;
    }
    const std::uint16_t imageCrc = image::imageCrcOfRegister(modbus);
    if (json) {
        Json o = Json::object();
        o["crc16Xmodem"] = static_cast<unsigned>(xmodem);
        o["imageCrc"] = static_cast<unsigned>(imageCrc);
        ctx.out << jsonLine(o) << "\n";
    } else {
        ctx.out << strfmt("crc16Xmodem: 0x%04x\nimageCrc: 0x%04x\n", xmodem, imageCrc);
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("crc", "crc FILE [--json]", "Print crc16Xmodem and imageCrc of a file", CrcArgs, addCrcOptions,
                   runCrc);

} // namespace kelvor::cli
