// The settings file keeps every byte the station did not write, refuses to replace what it cannot
// read or may not write, and sees a hand edit at the next read.
#include "base/station/settings_store.h"
#include "support/image_fixtures.h"
#include "support/special_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>
#include <sstream>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvor {
namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Store {
    explicit Store(const std::string& path) : store(path) {
        store.setProblemSink([this](const std::string& line) { problems.push_back(line); });
    }
    SettingsStore store;
    std::vector<std::string> problems;
};

const std::string kNul("FREQ=5\0junk\r\n", 13);

// Each file is written once with `key` = `value`; `after` is the whole file expected afterwards.
TEST(SettingsStore, AWriteChangesOneValueAndKeepsEveryOtherByte) {
    struct Row {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    };
    const std::string tail = "[OpenFile]\r\nFileCountHex=1\r\n[GENERALFUNCTION]\r\nIMAGEKEY=00112233\r\n"
                             "[SIMULATOR]\r\nNG=3\r\n[SITE]\r\nLINE=7\r\n";
    const Row rows[] = {
        {"a NUL byte does not end the file", "[KELVOR]\r\nVOL=4.500\r\n" + kNul + tail, "KELVOR", "VOL", "4.800",
         "[KELVOR]\r\nVOL=4.800\r\n" + kNul + tail},
        {"invalid UTF-8, comments, blanks and spacing stay", "; \xff\xfe comment\n\n[KELVOR]\n  DEVICE = EP2702  \n# x\n\xc3(\n",
         "kelvor", "device", "EP2706", "; \xff\xfe comment\n\n[KELVOR]\n  DEVICE = EP2706  \n# x\n\xc3(\n"},
        {"duplicate sections and keys are not merged; the first occurrence is written",
         "[KELVOR]\nDEVICE=A\nDEVICE=B\n[X]\nK=1\n[KELVOR]\nDEVICE=C\nVOL=1\n", "KELVOR", "DEVICE", "Z",
         "[KELVOR]\nDEVICE=Z\nDEVICE=B\n[X]\nK=1\n[KELVOR]\nDEVICE=C\nVOL=1\n"},
        {"a key found only in a repeated section is written there", "[K]\nA=1\n[X]\n[K]\nB=2\n", "K", "B", "3",
         "[K]\nA=1\n[X]\n[K]\nB=3\n"},
        {"a new key joins the first occurrence of its section after its last key",
         "[KELVOR]\r\nA=1\r\n\r\n; about X\r\n[X]\r\n[KELVOR]\r\nB=2\r\n", "KELVOR", "FREQ", "5",
         "[KELVOR]\r\nA=1\r\nFREQ=5\r\n\r\n; about X\r\n[X]\r\n[KELVOR]\r\nB=2\r\n"},
        {"a new section goes at the end, after a last line without its line end", "[A]\r\nK=1", "OpenFile",
         "FileCountHex", "0", "[A]\r\nK=1\r\n[OpenFile]\r\nFileCountHex=0\r\n"},
        {"a byte-order mark stays", "\xEF\xBB\xBF[KELVOR]\nFREQ=1\n", "KELVOR", "FREQ", "2",
         "\xEF\xBB\xBF[KELVOR]\nFREQ=2\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        test::TempDir dir;
        const std::string path = dir.write("KELVOR.ini", r.before);
        Store s(path);
        EXPECT_TRUE(s.store.writeText(r.section, r.key, r.value));
        EXPECT_EQ(fileText(path), r.after);
        EXPECT_EQ(s.store.readText(r.section, r.key), r.value);
        EXPECT_TRUE(s.problems.empty());
    }
}

TEST(SettingsStore, KeysAfterANulAndInRepeatedSectionsAreRead) {
    test::TempDir dir;
    const std::string path =
        dir.write("KELVOR.ini", "[KELVOR]\nDEVICE=A\n" + std::string("VOL=4.5\0x\n", 10) +
                                    "[GENERALFUNCTION]\nIMAGEKEY=K1\n[KELVOR]\nDEVICE=B\nFREQ=3\n");
    SettingsStore s(path);
    EXPECT_EQ(s.readText("KELVOR", "VOL"), "4.5"); // as far as a C-string read sees
    EXPECT_EQ(s.readText("generalfunction", "imagekey"), "K1");
    EXPECT_EQ(s.readText("KELVOR", "DEVICE"), "A");
    EXPECT_EQ(s.readText("KELVOR", "FREQ"), "3");
    EXPECT_EQ(s.readText("KELVOR", "NONE"), "");
}

// A file the station cannot read would come back holding only the keys it wrote: it is left alone.
TEST(SettingsStore, AFileThatCannotBeReadIsNeverReplaced) {
    test::TempDir dir;
    const std::string root = dir.path("");
    for (const auto& special : test::makeSpecialFiles(root)) {
        if (special.path == "/dev/zero") continue; // not ours to replace in any case
        SCOPED_TRACE(special.kind);
        Store s(special.path);
        EXPECT_FALSE(s.store.writeText("KELVOR", "FREQ", "5"));
        EXPECT_FALSE(s.store.writeText("KELVOR", "VOL", "4.500"));
        EXPECT_EQ(s.store.readText("KELVOR", "FREQ"), "");
        ASSERT_EQ(s.problems.size(), 1u) << "one line, not one per key";
        EXPECT_NE(s.problems[0].find(std::string("is a ") + special.kind + ", not a regular file"),
                  std::string::npos)
            << s.problems[0];
        struct stat st {};
        ASSERT_EQ(::lstat(special.path.c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode));
    }

    // Without read permission (root reads it anyway; then the write must still keep every key).
    const std::string text = "[KELVOR]\nFREQ=1\n[GENERALFUNCTION]\nIMAGEKEY=K\n[X]\nPROGRAMMER=sim\n";
    const std::string locked = dir.write("locked.ini", text);
    ::chmod(locked.c_str(), 0200);
    Store s(locked);
    const bool wrote = s.store.writeText("KELVOR", "FREQ", "5");
    ::chmod(locked.c_str(), 0600);
    if (wrote) {
        EXPECT_EQ(geteuid(), 0u);
        EXPECT_EQ(fileText(locked), "[KELVOR]\nFREQ=5\n[GENERALFUNCTION]\nIMAGEKEY=K\n[X]\nPROGRAMMER=sim\n");
    } else {
        EXPECT_EQ(fileText(locked), text);
        ASSERT_EQ(s.problems.size(), 1u);
        EXPECT_NE(s.problems[0].find("cannot be opened (Permission denied)"), std::string::npos);
    }
}

TEST(SettingsStore, ModeAndOwnerSurviveTheReplaceAndAReadOnlyFileIsLeftAlone) {
    test::TempDir dir;
    const std::string path = dir.write("KELVOR.ini", "[KELVOR]\nFREQ=1\n");
    ::chmod(path.c_str(), 0640);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
    }
    Store s(path);
    EXPECT_TRUE(s.store.writeText("KELVOR", "FREQ", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }

    ::chmod(path.c_str(), 0444);
    EXPECT_FALSE(s.store.writeText("KELVOR", "FREQ", "3"));
    EXPECT_FALSE(s.store.writeText("KELVOR", "VOL", "4.5"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(fileText(path), "[KELVOR]\nFREQ=2\n");
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_NE(s.problems[0].find("is read-only"), std::string::npos) << s.problems[0];

    // A link to the file stays a link.
    ::chmod(path.c_str(), 0600);
    const std::string link = test::linkTo(dir.path(""), "link.ini", path);
    Store viaLink(link);
    EXPECT_TRUE(viaLink.store.writeText("KELVOR", "FREQ", "4"));
    struct stat lst {};
    ASSERT_EQ(::lstat(link.c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(fileText(path), "[KELVOR]\nFREQ=4\n");
}

TEST(SettingsStore, AValueThatWouldSplitItsLineIsRefused) {
    test::TempDir dir;
    const std::string path = dir.write("KELVOR.ini", "[KELVOR]\nFREQ=1\n");
    Store s(path);
    for (const std::string& v : {std::string("a\nDEVICE=x"), std::string("a\rb"), std::string("a\0b", 3)})
        EXPECT_FALSE(s.store.writeText("KELVOR", "FREQ", v));
    EXPECT_EQ(fileText(path), "[KELVOR]\nFREQ=1\n");
}

// The parsed file is kept between reads, yet an edit by hand (even one of the same size) is seen.
TEST(SettingsStore, AHandEditIsSeenAtTheNextRead) {
    test::TempDir dir;
    const std::string path = dir.write("KELVOR.ini", "[KELVOR]\nFREQ=1\n");
    SettingsStore s(path);
    EXPECT_EQ(s.readText("KELVOR", "FREQ"), "1");
    EXPECT_TRUE(s.writeText("KELVOR", "VOL", "4.5"));
    struct stat before {};
    ::stat(path.c_str(), &before);
    dir.write("KELVOR.ini", "[KELVOR]\nFREQ=7\nVOL=4.5\n");
    // Same size, same inode; only the modification time tells the edit apart.
    timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_sec += 1;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    EXPECT_EQ(s.readText("KELVOR", "FREQ"), "7");
    std::filesystem::remove(path);
    EXPECT_EQ(s.readText("KELVOR", "FREQ"), "");
    EXPECT_TRUE(s.writeText("KELVOR", "FREQ", "5"));
    EXPECT_EQ(fileText(path), "[KELVOR]\nFREQ=5\n");
}

// A writer killed at any moment leaves either the old file or the new one, never a part of either.
TEST(SettingsStore, AWriterKilledMidWriteLosesNoKey) {
    test::TempDir dir;
    std::string text = "[KELVOR]\nFREQ=0\nVOL=4.500\n[SITE]\n";
    for (int i = 0; i < 2000; ++i) text += "K" + std::to_string(i) + "=v\n";
    const std::string path = dir.write("KELVOR.ini", text);
    for (int round = 0; round < 10; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SettingsStore s(path);
            for (int i = 0;; ++i) s.writeText("KELVOR", "FREQ", std::to_string(i % 9 + 1));
        }
        ::usleep(static_cast<useconds_t>(2000 + 1500 * round));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        SettingsStore check(path);
        const std::string freq = check.readText("KELVOR", "FREQ");
        ASSERT_EQ(freq.size(), 1u) << "round " << round;
        std::string expected = text;
        expected.replace(expected.find("FREQ=0") + 5, 1, freq);
        ASSERT_EQ(fileText(path), expected) << "round " << round;
    }
}

} // namespace
} // namespace kelvor
