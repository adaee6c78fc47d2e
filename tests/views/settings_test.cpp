#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/fake_backend.h"
#include "tests/support/test_system.h"
#include "views/settings.h"

namespace vt {
namespace {

void WriteIni(const test::ScopedTempDir& dir, const std::string& text) {
    std::ofstream(dir.File(kSettingsFileName), std::ios::binary) << text;
}

TEST(SettingsFile, RemapRelationKeepsOnlyTheLowEightBits) {
    test::ScopedTempDir dir;
    WriteIni(dir, "[Setting]\r\nEnResetSmart=1\r\nEnRemapRelation=256\r\n");
    auto settings = ReadSettings(dir.path());
    EXPECT_EQ(settings.EnRemapRelation, 0);
    EXPECT_EQ(settings.EnResetSmart, 1);
    WriteIni(dir, "[Setting]\nEnRemapRelation=1\n");
    EXPECT_EQ(ReadSettings(dir.path()).EnRemapRelation, 1);
    WriteIni(dir, "[Setting]\nEnRemapRelation=257\n");
    EXPECT_EQ(ReadSettings(dir.path()).EnRemapRelation, 1);
}

TEST(SettingsFile, MissingFileSectionOrKeyGivesDefaults) {
    test::ScopedTempDir dir;
    auto settings = ReadSettings(dir.path());
    EXPECT_EQ(settings.EnResetSmart, 0);
    EXPECT_EQ(settings.EnRemapRelation, 0);
    WriteIni(dir, "[Other]\nEnResetSmart=1\nEnRemapRelation=1\n");
    settings = ReadSettings(dir.path());
    EXPECT_EQ(settings.EnResetSmart, 0);
    EXPECT_EQ(settings.EnRemapRelation, 0);
    WriteIni(dir, "[Setting]\nSomethingElse=1\n");
    EXPECT_EQ(ReadSettings(dir.path()).EnResetSmart, 0);
}

TEST(SettingsFile, KeysBelongToTheirOwnSectionOnly) {
    const std::string ini =
        "EnResetSmart=7\n[setting]\n ; comment\nenresetsmart = 3 \nEnResetSmart=4\n"
        "[Next]\nEnRemapRelation=9\n[Setting]\nEnRemapRelation=5\n";
    // Names compare without case; the first key of the first section wins.
    EXPECT_EQ(IniInteger(ini, "Setting", "EnResetSmart", 0), 3);
    EXPECT_EQ(IniInteger(ini, "Setting", "EnRemapRelation", 0), 0);
    EXPECT_EQ(IniInteger(ini, "Next", "EnRemapRelation", 0), 9);
    EXPECT_FALSE(IniValue("[Setting\nEnResetSmart=1\n", "Setting", "EnResetSmart"));
    EXPECT_EQ(IniValue("[Setting]\nName=\"quoted\"\n", "Setting", "Name"), "quoted");
}

TEST(SettingsFile, IntegersReadAsTheWindowsBoxesReadThem) {
    const auto read = [](const std::string& value) {
        return IniInteger("[Setting]\nKey=" + value + "\n", "Setting", "Key", 77);
    };
    // Tabs and a carriage return around a value are the file's, not part of the number.
    EXPECT_EQ(read("\t-5 \r"), -5);
    EXPECT_EQ(read("0xFFFFFFFF"), -1);
    // The settings once had their own conversion, which refused the "x" prefix a box takes.
    EXPECT_EQ(read("x10"), 16);
    for (const char* bad : {"12abc", "2147483648", "0x", "1 2"}) EXPECT_EQ(read(bad), 77) << bad;
}

TEST(SettingsFile, ValueThatIsNoIntegerGivesTheDefault) {
    test::ScopedTempDir dir;
    WriteIni(dir, "[Setting]\nEnResetSmart=on\nEnRemapRelation=1.5\n");
    const auto settings = ReadSettings(dir.path());
    EXPECT_EQ(settings.EnResetSmart, 0);
    EXPECT_EQ(settings.EnRemapRelation, 0);
}

TEST(SettingsFile, AFifoIsPassedOverAndAnOversizedFileIsCutWithALogLine) {
    test::ScopedTempDir dir;
    // The desktop program read this at start while holding its guard: a FIFO hung it there.
    ASSERT_TRUE(test::MakeFifo(dir.File(kSettingsFileName)));
    EXPECT_EQ(ReadSettings(dir.path()).EnResetSmart, 0);
    std::filesystem::remove(dir.File(kSettingsFileName));

    WriteIni(dir, "[Setting]\r\nEnResetSmart=1\r\n" + std::string(2 << 20, ';'));
    test::SetEnvironment("VTUTIL_DEBUG", "1");
    testing::internal::CaptureStderr();
    const auto settings = ReadSettings(dir.path());
    const std::string log = testing::internal::GetCapturedStderr();
    test::UnsetEnvironment("VTUTIL_DEBUG");
    EXPECT_EQ(settings.EnResetSmart, 1);
    EXPECT_NE(log.find("is larger than 1048576 bytes; only its first 1048576 bytes are read"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace vt
