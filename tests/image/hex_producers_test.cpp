// HEX files as this platform's own tools write them (gpasm, srec_cat, objcopy, python3-intelhex):
// LF or CR LF line ends, start-address records (types 03 and 05), segment records (type 02) and
// data above 64 KB. The station's readers must give the bytes an independent reader
// (python3-intelhex) gives, folded onto the station's areas, and the job must send them. A case
// whose tool is missing is skipped with a message; scripts/deps.sh installs them all.
#include "base/settings.h"
#include "chips/catalog.h"
#include "image/readers.h"
#include "jobs/job.h"
#include "jobs/job_inputs.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

namespace kelvor::image {
namespace {

bool onPath(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A Python with intelhex: the one on PATH, else the system's own (a private Python on PATH may
// lack Debian's python3-intelhex).
std::optional<std::string> intelhexPython() {
    for (const char* py : {"python3", "/usr/bin/python3"})
        if (std::system((std::string(py) + " -c 'import intelhex' >/dev/null 2>&1").c_str()) == 0) return py;
    return std::nullopt;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string withLineEnds(const std::string& text, bool crlf) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n' && crlf) out += '\r';
        out += c;
    }
    return out;
}

constexpr const char* kReference = R"(import sys, intelhex
ih = intelhex.IntelHex(sys.argv[1])
with open(sys.argv[2], 'w') as out:
    for a in ih.addresses():
        out.write('%d %d\n' % (a, ih[a]))
)";

constexpr const char* kAsm14 = R"(        processor p16f648a
        errorlevel -220
        org     0x0000
        goto    start
        org     0x0004
start   movlw   0x2A
        movwf   0x20
        goto    start
        org     0x2000
        dw      0x0078, 0x0016, 0x0007
        end
)";

constexpr const char* kAsm16 = R"(        processor p18f4520
        org     0x0000
        goto    start
        org     0x0100
start   movlw   0x55
        movwf   0x20, a
        bra     start
        org     0x300000
        db      0xF3, 0x00, 0x45, 0x00, 0x4F, 0x00, 0x0F, 0x00, 0xFF, 0xFF
        end
)";

constexpr const char* kIntelhexWriter = R"(import intelhex
ih = intelhex.IntelHex()
for i in range(0x60):
    ih[0x0200 + i] = (i * 37 + 5) & 0xFF
for i, b in enumerate([0xE3, 0, 5, 0, 0x0F, 0, 0x0F, 0, 0xFF, 0xFF]):
    ih[0x300000 + i] = b
ih.start_addr = {'EIP': 0x00000200}
ih.write_hex_file('out.hex')
)";

struct Producer {
    const char* name;
    const char* tool;
    std::string command; // run in the case's folder; writes out.hex
};

std::vector<Producer> producers() {
    return {
        {"gpasm, 14-bit with chip words at 0x2000", "gpasm", "gpasm -a inhx32 -o out.hex p14.asm >/dev/null"},
        {"gpasm, 16-bit with configuration at 0x300000", "gpasm", "gpasm -a inhx32 -o out.hex p16.asm >/dev/null"},
        {"srec_cat, type-05 start address after the configuration", "srec_cat",
         "srec_cat -generate 0x0000 0x0043 -repeat-data 1 2 3 -generate 0x300000 0x30000A -constant 0x5A "
         "-o out.hex -intel -output-block-size=16 -execution-start-address=0x00001234"},
        {"srec_cat, data above 64 KB (type 04)", "srec_cat",
         "srec_cat -generate 0x10100 0x10145 -repeat-data 9 8 7 6 -o out.hex -intel"},
        {"objcopy, segment records above 64 KB and a type-03 start (CR LF)", "objcopy",
         "objcopy -I binary -O ihex --change-addresses 0x12340 --set-start 0x12340 data.raw out.hex"},
        {"objcopy, above 1 MB with a type-05 start", "objcopy",
         "objcopy -I binary -O ihex --change-addresses 0x100000 --set-start 0x100010 data.raw out.hex"},
        {"python3-intelhex, type-05 start address", "python", "$PY writer.py"},
    };
}

// The station's areas as the reference reader's bytes fill them: the three upper addresses of the
// special areas, everything else folded onto programArea's 64 KB.
struct Areas {
    std::vector<std::uint8_t> program = std::vector<std::uint8_t>(kProgramAreaSize, 0xFF);
    std::array<std::uint8_t, kConfigAreaSize> config{};
};

Areas expectedAreas(const std::string& referenceDump) {
    Areas a;
    std::istringstream in(referenceDump);
    long long address = 0;
    int value = 0;
    while (in >> address >> value) {
        const auto upper = static_cast<std::uint32_t>(address >> 16);
        const auto offset = static_cast<std::size_t>(address & 0xFFFF);
        if (upper == 0x0030)
            a.config.at(offset) = static_cast<std::uint8_t>(value);
        else
            a.program[offset] = static_cast<std::uint8_t>(value);
    }
    return a;
}

void expectAreas(const ImageBuffers& b, const Areas& want, const std::string& what) {
    SCOPED_TRACE(what);
    for (std::size_t i = 0; i < kProgramAreaSize; ++i)
        ASSERT_EQ(b.programArea()[i], want.program[i]) << "programArea offset 0x" << std::hex << i;
    EXPECT_EQ(b.configArea, want.config);
}

TEST(HexProducers, ReadAndPreparedLikeAnIndependentReader) {
    const auto py = intelhexPython();
    if (!py) GTEST_SKIP() << "python3-intelhex is not installed (scripts/deps.sh installs it)";
    std::vector<std::string> skipped;
    int ran = 0;
    for (const auto& p : producers()) {
        SCOPED_TRACE(p.name);
        if (std::string(p.tool) != "python" && !onPath(p.tool)) {
            skipped.push_back(p.tool);
            continue;
        }
        test::TempDir dir;
        dir.write("p14.asm", kAsm14);
        dir.write("p16.asm", kAsm16);
        dir.write("writer.py", kIntelhexWriter);
        dir.write("reference.py", kReference);
        std::vector<std::uint8_t> raw(0x100);
        for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 11 + 3);
        dir.write("data.raw", raw);
        std::string command = p.command;
        if (const auto at = command.find("$PY"); at != std::string::npos) command.replace(at, 3, *py);
        const std::string folder = dir.path("");
        ASSERT_EQ(std::system(("cd '" + folder + "' && " + command).c_str()), 0) << command;
        ASSERT_EQ(std::system(("cd '" + folder + "' && " + *py + " reference.py out.hex reference.txt").c_str()), 0);
        const Areas want = expectedAreas(readFile(dir.path("reference.txt")));
        const std::string produced = readFile(dir.path("out.hex"));
        ++ran;

        const HexReadOptions options{true, ResultRule::EndOfLastProgramRecord};
        for (const bool crlf : {false, true}) {
            const std::string text = withLineEnds(produced, crlf);
            const std::string ends = crlf ? "CR LF" : "LF";
            auto state = test::freshImageState();
            RecordingReporter rep;
            const HexReadResult plain = readHexText(test::bytesOf(text), options, state->buffers, rep);
            ASSERT_TRUE(plain.ok) << ends << "\n" << text;
            EXPECT_GT(plain.result, 0);
            EXPECT_EQ(plain.wrongChecksumCount, 0);
            expectAreas(state->buffers, want, "plain file, " + ends);

            auto enciphered = test::freshImageState();
            ASSERT_TRUE(readEncipheredHex(test::encipherText(text), options, enciphered->buffers, defaultImageKey(), rep).ok);
            expectAreas(enciphered->buffers, want, "enciphered payload, " + ends);
        }

        // What the job sends: EP3902 copies its 16 KB of program bytes unchanged.
        auto state = test::freshImageState();
        const chips::ModelRow* model = chips::findModel("EP3902");
        ASSERT_NE(model, nullptr);
        jobs::JobContext job;
        job.model = model;
        job.imagePath = dir.path("out.hex");
        MemorySettings settings;
        RecordingReporter rep;
        const jobs::JobResult r = jobs::startProgrammingJob(jobs::defaultJobInputs(*model), job, *state, settings, rep);
        ASSERT_EQ(r.code, jobs::kJobPrepared);
        const auto* chip = r.chipTransfer();
        ASSERT_NE(chip, nullptr);
        ASSERT_GE(chip->bytes.size(), 16384u);
        EXPECT_TRUE(std::equal(want.program.begin(), want.program.begin() + 16384, chip->bytes.begin()))
            << "the prepared image differs from the file's bytes";
    }
    if (!skipped.empty()) {
        std::string names;
        for (const auto& s : skipped) names += " " + s;
        std::printf("[  SKIPPED ] producers not installed (scripts/deps.sh installs them):%s\n", names.c_str());
    }
    if (ran == 0) GTEST_SKIP() << "no HEX producer is installed";
}

} // namespace
} // namespace kelvor::image
