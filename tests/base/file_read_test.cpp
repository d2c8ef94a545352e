#include "base/file_read.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kelvor {
namespace {

// The size a file claims is not what bounds the read: a sparse 1 GiB file stops one byte past the
// limit, and a file claiming 0 bytes (as /proc files do) is still read to its end.
TEST(BoundedRead, TheLimitNotTheClaimedSizeBoundsTheRead) {
    test::TempDir dir;
    const std::string sparse = dir.path("sparse");
    dir.write("sparse", std::string());
    std::filesystem::resize_file(sparse, 1ull << 30);
    std::size_t seen = 0;
    const FileReadInfo big = readRegularFileChunks(sparse, 100, [&](std::span<const std::uint8_t> c) { seen += c.size(); });
    EXPECT_EQ(big.status, FileReadStatus::TooLarge);
    EXPECT_EQ(big.size, 101u);
    EXPECT_EQ(seen, 100u);

    std::vector<std::uint8_t> bytes;
    const FileReadInfo proc = readRegularFile("/proc/self/status", 1 << 20, bytes);
    EXPECT_EQ(proc.status, FileReadStatus::Ok);
    EXPECT_EQ(proc.statSize, 0);
    EXPECT_GT(bytes.size(), 0u);
    EXPECT_EQ(proc.size, bytes.size());

    const std::string exact = dir.write("exact", std::string(100, 'x'));
    EXPECT_EQ(readRegularFile(exact, 100, bytes).status, FileReadStatus::Ok);
    EXPECT_EQ(bytes.size(), 100u);
    EXPECT_EQ(readRegularFile(exact, 99, bytes).status, FileReadStatus::TooLarge);
    EXPECT_TRUE(bytes.empty());
}

} // namespace
} // namespace kelvor
