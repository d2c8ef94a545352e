// The exit codes of `kelvor --help` and the README, command by command: 0 success, 1 a chip failed
// (the programmer's verdict), 2 bad input, 3 programmer or link failure.
#include "cli/cli.h"
#include "support/cli_run.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

namespace kelvor::cli {
namespace {

using test::hexData;
using test::hexEnd;

struct Row {
    const char* situation;
    std::vector<std::string> args;
    int code;
};

TEST(ExitCodes, EveryCommandInEverySituation) {
    test::TempDir dir;
    std::string program;
    for (int at = 0; at < 512; at += 16) {
        std::vector<std::uint8_t> bytes(16);
        for (int i = 0; i < 16; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((at + i) * 7 + 1);
        program += hexData(static_cast<std::uint16_t>(at), bytes);
    }
    const std::string image = dir.write("image.hex", program + hexEnd());
    const std::string refused = dir.write("cr.hex", std::string(":0100000055AA\r:00000001FF\r"));
    const std::string missing = dir.path("missing.hex");
    const std::string folder = dir.path("");
    const std::string tooLong = dir.write("big.hex", std::string(65493, ':'));
    const std::string firmware = dir.write("fw.bin", std::vector<std::uint8_t>(4096, 0x5A));

    const Row rows[] = {
        {"models", {"models"}, kExitOk},
        {"models: a stray argument", {"models", "all"}, kExitUsage},
        {"crc", {"crc", image}, kExitOk},
        {"crc: no such file", {"crc", missing}, kExitUsage},
        {"decode: usable", {"decode", "--model", "EP27C42", image}, kExitOk},
        {"decode: the check refuses the image", {"decode", "--model", "EP2706", refused}, kExitFail},
        {"decode: unknown model", {"decode", "--model", "EP9999", image}, kExitUsage},
        {"encipher", {"encipher", image, dir.path("image.bin")}, kExitOk},
        {"encipher: the text does not fit", {"encipher", tooLong, dir.path("big.bin")}, kExitUsage},
        {"encipher: cannot write", {"encipher", image, folder}, kExitUsage},
        {"checksum", {"checksum", "--model", "EP27C42", image}, kExitOk},
        {"checksum: refused image", {"checksum", "--model", "EP27C42", refused}, kExitUsage},
        {"checksum: unknown option", {"checksum", "--model", "EP27C42", image, "--frobnicate"}, kExitUsage},
        {"report", {"report", "1300"}, kExitOk},
        {"report: no such transfer image", {"report", "--transfer", missing, "1300"}, kExitUsage},
        {"detect", {"detect"}, kExitOk},
        {"detect: empty socket", {"detect", "--sim-chip", "none"}, kExitFail},
        {"detect: no programmer", {"detect", "--sim-fault", "no-programmer"}, kExitLink},
        {"detect: silent programmer", {"detect", "--sim-fault", "silent"}, kExitLink},
        {"detect: open fails", {"detect", "--sim-fault", "open-fail"}, kExitLink},
        {"reset", {"reset"}, kExitOk},
        {"reset: UART failure", {"reset", "--sim-fault", "uart-fail"}, kExitLink},
        {"reset: bad fault name", {"reset", "--sim-fault", "bogus"}, kExitUsage},
        {"ee-write", {"ee-write", "12", "4500"}, kExitOk},
        {"ee-write: silent programmer", {"ee-write", "12", "4500", "--sim-fault", "silent"}, kExitLink},
        {"ee-write: not a number", {"ee-write", "12", "4.5"}, kExitUsage},
        {"program", {"program", "--model", "EP27C42", image}, kExitOk},
        {"program: verify error", {"program", "--model", "EP27C42", image, "--sim-fault", "verify-fail"}, kExitFail},
        {"program: unreadable answer", {"program", "--model", "EP27C42", image, "--sim-fault", "garbage"}, kExitFail},
        {"program: refused image", {"program", "--model", "EP27C42", refused}, kExitUsage},
        {"program: bad value", {"program", "--model", "EP27C42", image, "--count", "x"}, kExitUsage},
        {"program: silent programmer", {"program", "--model", "EP27C42", image, "--sim-fault", "silent"}, kExitLink},
        {"program: no acknowledgement", {"program", "--model", "EP3901", image, "--sim-fault", "no-ack"}, kExitLink},
        {"program: no programmer", {"program", "--model", "EP27C42", image, "--sim-fault", "no-programmer"}, kExitLink},
        {"program: USB failure", {"program", "--model", "EP27C42", image, "--sim-fault", "usb-fail"}, kExitLink},
        {"program: removed", {"program", "--model", "EP27C42", image, "--sim-fault", "unplug-mid-transfer"}, kExitLink},
        {"firmware: empty file", {"firmware", dir.write("empty.bin", std::string())}, kExitUsage},
        {"firmware: no programmer", {"firmware", firmware, "--sim-fault", "no-programmer"}, kExitLink},
        {"firmware: never returns", {"firmware", firmware, "--sim-fault", "no-return"}, kExitLink},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        test::KelvorHome home;
        const test::CliRun r = test::runKelvor(row.args);
        EXPECT_EQ(r.code, row.code) << r.out << r.err;
    }
}

TEST(ExitCodes, HelpEndsWithTheTable) {
    const test::CliRun r = test::runKelvor({"--help"});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_NE(r.out.find(kExitCodesText), std::string::npos) << r.out;
    // Each command's help lists the options it takes.
    const test::CliRun program = test::runKelvor({"program", "--help"});
    EXPECT_EQ(program.code, kExitOk);
    for (const char* option : {"--model", "--count", "--offline", "--voltage", "--pdo", "--sim-fault", "--trace", "--json"})
        EXPECT_NE(program.out.find(option), std::string::npos) << option;
}

} // namespace
} // namespace kelvor::cli
