// kelvor crc FILE [--json]: crc16Xmodem and imageCrc of a whole file, read in chunks.
#include "base/file_read.h"
#include "base/json.h"
#include "base/strfmt.h"
#include "cli/cli.h"
#include "image/checksums.h"
#include "image/readers.h"

#include <ostream>

namespace kelvor::cli {
namespace {

// The largest file any reader of the station takes; a device or an endless file is refused.
constexpr std::size_t kCrcLimit = image::kMaxHexFileSize;

int runCrc(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    const auto rest = ctx.args.finish();
    if (!ctx.args.ok() || rest.size() != 1) {
        if (!ctx.args.ok()) ctx.err << "kelvor crc: " << ctx.args.error() << "\n";
        ctx.err << "usage: kelvor crc FILE [--json]\n";
        return kExitUsage;
    }
    const std::string& path = rest.front();
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
        o.set("crc16Xmodem", static_cast<unsigned>(xmodem));
        o.set("imageCrc", static_cast<unsigned>(imageCrc));
        ctx.out << o.dump() << "\n";
    } else {
        ctx.out << strfmt("crc16Xmodem: 0x%04x\nimageCrc: 0x%04x\n", xmodem, imageCrc);
    }
    return kExitOk;
}

} // namespace

KELVOR_CLI_COMMAND("crc", "crc FILE [--json]               crc16Xmodem and imageCrc of a file", runCrc);

} // namespace kelvor::cli
