// kelvor crc FILE [--json]: crc16Xmodem and imageCrc of a whole file, read in chunks.
#include "base/json_line.h"
#include "base/strfmt.h"
#include "cli/cli.h"
#include "image/checksums.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <ostream>
#include <vector>

namespace kelvor::cli {
namespace {

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
