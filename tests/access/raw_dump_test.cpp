#include "access/raw_dump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "access/mode_flags.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

namespace fs = std::filesystem;

TEST(RawDumps, AreCountedAndStopAtTheirBound) {
    test::ScopedTempDir dir;  // the working directory, where dumps go
    RawDumpEnabled = true;
    const std::vector<std::uint8_t> page(100, 0x5A);
    StartRawDumps({.files = 3, .bytes = 250});
    DumpRawFile("defect.raw", page);
    DumpRawFile("defect.raw", page);  // the same file again takes no more room
    fs::create_symlink("victim", "SB_0001.raw");
    DumpRawFile("SB_0001.raw", page);  // refused, not followed
    DumpRawFile("SB_0000.raw", page);
    DumpRawFile("SB_0002.raw", page);  // 300 bytes: past the bound
    DumpRawFile("SB_0003.raw", page);
    RawDumpEnabled = false;

    const auto& report = RawDumps();
    EXPECT_EQ(report.files, 2u);
    EXPECT_EQ(report.bytes, 200u);
    EXPECT_EQ(report.failed, 1u);
    EXPECT_EQ(report.skipped, 2u);
    EXPECT_FALSE(fs::exists("victim"));
    EXPECT_FALSE(fs::exists("SB_0002.raw"));
    const auto problems = RawDumpProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("SB_0001.raw: It is a symbolic link"), std::string::npos)
        << problems[0];
    EXPECT_NE(problems[1].find("2 more dumps were not written"), std::string::npos) << problems[1];

    StartRawDumps();
    EXPECT_TRUE(RawDumpProblems().empty());
}

}  // namespace
}  // namespace vt
