// kelvor crc FILE [--json]: crc16Xmodem and imageCrc of a whole file, read in chunks.
#include "base/json.h"
#include "base/strfmt.h"
#include "cli/cli.h"
#include "image/checksums.h"

#include <cstdio>
#include <memory>
#include <ostream>
#include <vector>

namespace kelvor::cli {
namespace {

int runCrc(Context& ctx) {
    const bool json = ctx.args.flag("--json");
    const auto rest = ctx.args.finish();
    if (!ctx.args.ok() || rest.size() != 1) {
        if (!ctx.args.ok()) ctx.err << "kelvor crc: " << ctx.args.error() << "\n";
        ctx.err << "usage: kelvor crc FILE [--json]\n";
        return kExitUsage;
    }
    const std::string& path = rest.front();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) {
        ctx.err << "kelvor crc: cannot open " << path << "\n";
        return kExitUsage;
    }
    std::uint16_t xmodem = 0, modbus = 0xFFFF;
    std::vector<std::uint8_t> chunk(1 << 16);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), f.get())) > 0) {
        xmodem = image::crc16XmodemUpdate(xmodem, chunk.data(), got);
        modbus = image::modbusCrcUpdate(modbus, chunk.data(), got);
    }
    if (std::ferror(f.get())) {
        ctx.err << "kelvor crc: cannot read " << path << "\n";
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
