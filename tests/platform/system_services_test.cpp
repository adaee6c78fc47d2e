// The file services and named objects as every system's form must keep them: run on Linux and,
// against the real Win32 calls, under Wine.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/named_objects.h"
#include "platform/shared_library.h"
#include "platform/wide_text.h"
#include "tests/support/fake_backend.h"
#include "tests/support/test_system.h"

namespace vt::platform {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Contents(const std::string& path) {
    const auto bytes = test::ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

TEST(SystemFiles, AReplacementIsWholeOrAbsentAndLeavesNoTemporaryBehind) {
    test::ScopedTempDir dir;
    const std::string report = dir.File("report.txt");
    std::string error;
    ASSERT_TRUE(ReplaceFile(report, Bytes("first"), error)) << error;
    {
        ReplacementFile file(report);
        ASSERT_TRUE(file.Write(Bytes("half of the second")));
        // Never committed: the old file stays, the temporary goes.
    }
    EXPECT_EQ(Contents(report), "first");
    ASSERT_TRUE(ReplaceFile(report, Bytes("second\r\n"), error)) << error;
    EXPECT_EQ(Contents(report), "second\r\n");  // bytes as given, no line-end translation
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // A directory at the name, or one missing on the way, is refused with the name in the reason.
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_FALSE(ReplaceFile(dir.File("sub"), Bytes("x"), error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_FALSE(ReplaceFile(dir.File("missing/report.txt"), Bytes("x"), error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

TEST(SystemFiles, TheNullDeviceIsAStreamOnlyWhereAnOptionNamesIt) {
    std::string error;
    EXPECT_FALSE(ReplaceFile(test::NullDevice(), Bytes("x"), error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(ReplaceFile(test::NullDevice(), Bytes("x"), error, OutputTarget::FileOrStream))
        << error;
    EXPECT_FALSE(AppendToFile(test::NullDevice(), Bytes("x")));
}

TEST(SystemFiles, ReadsAreBoundedAndTakeOnlyRegularFiles) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("data"), std::ios::binary) << std::string(100, 'a');
    std::string error;
    bool cut = false;
    const auto head = ReadFileHead(dir.File("data"), 10, error, cut);
    ASSERT_TRUE(head) << error;
    EXPECT_EQ(head->size(), 10u);
    EXPECT_TRUE(cut);
    EXPECT_FALSE(ReadFileBytes(dir.File("data"), 99, error));
    EXPECT_NE(error.find("larger than the limit of 99 bytes"), std::string::npos) << error;
    EXPECT_FALSE(ReadFileBytes(dir.path(), 1000, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(ReadFileBytes(test::NullDevice(), 1000, error));
    // A missing file says so in the words every caller tests for.
    EXPECT_FALSE(ReadFileBytes(dir.File("none"), 1000, error));
    EXPECT_NE(error.find(std::strerror(ENOENT)), std::string::npos) << error;

    // Appends add to what is there; one file has one identity under any of its names.
    ASSERT_TRUE(AppendToFile(dir.File("log"), Bytes("a")));
    ASSERT_TRUE(AppendToFile(dir.File("log"), Bytes("b")));
    EXPECT_EQ(Contents(dir.File("log")), "ab");
    const auto one = IdentityOf(dir.File("log"));
    const auto same = IdentityOf(dir.path() + "/./log");
    const auto other = IdentityOf(dir.File("data"));
    ASSERT_TRUE(one && same && other);
    EXPECT_EQ(std::pair(one->device, one->inode), std::pair(same->device, same->inode));
    EXPECT_NE(std::pair(one->device, one->inode), std::pair(other->device, other->inode));
    EXPECT_FALSE(IdentityOf(dir.File("none")));
}

TEST(SystemFiles, NamesOutsideAsciiReachTheFileTheySpell) {
    test::ScopedTempDir dir;
    const std::string name = dir.File("r\xC3\xA9sum\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.txt");
    std::string error;
    ASSERT_TRUE(ReplaceFile(name, Bytes("text"), error)) << error;
    const auto back = ReadFileBytes(name, 100, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(std::string(back->begin(), back->end()), "text");
    // Bytes that are no UTF-8 name no file of their own: refused, never a crash.
    EXPECT_FALSE(ReadFileBytes(dir.File("bad\xC3"), 100, error));
    EXPECT_FALSE(ProgramPath().empty());
}

TEST(SystemNamedObjects, GuardMutexAndDriveLocksExcludeOthersUntilReleased) {
    test::ScopedTempDir dir;
    const std::string unique = "vt-test-" + std::filesystem::path(dir.path()).filename().string();
    {
        const InstanceGuard first(unique);
        ASSERT_EQ(first.state(), InstanceGuard::State::Created) << first.error();
        const InstanceGuard second(unique);
        EXPECT_EQ(second.state(), InstanceGuard::State::AlreadyExists);
        EXPECT_TRUE(second.HolderPid().has_value());
    }
    EXPECT_EQ(InstanceGuard(unique).state(), InstanceGuard::State::Created);

    NamedMutex mutex(unique);
    ASSERT_TRUE(mutex.IsValid()) << mutex.error();
    EXPECT_TRUE(mutex.Lock(100));
    mutex.Unlock();

    std::string error;
    const auto locks = PrivateLockDirectory(error);
    ASSERT_TRUE(locks) << error;
    const std::string file = *locks + "/" + unique + "-0.lock";
    const int held = LockRemovableFile(file, 0);
    ASSERT_GE(held, 0);
    EXPECT_EQ(LockRemovableFile(file, 50), -EWOULDBLOCK);  // bounded, then refused
    ReleaseRemovableFile(file, held);
    EXPECT_FALSE(std::filesystem::exists(file));
    const int again = LockRemovableFile(file, 0);
    EXPECT_GE(again, 0);
    ReleaseRemovableFile(file, again);
}

TEST(WideText, ConvertsEveryPlaneAndRefusesMalformedUtf8) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro, emoji
    const auto wide = Utf16FromUtf8(text);
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(Utf8FromUtf16(*wide), text);
    for (const std::string bad : {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                                  "\xF4\x90\x80\x80", "\xFF", "\x80", "\xE2\x82"}) {
        EXPECT_FALSE(Utf16FromUtf8(bad)) << testing::PrintToString(bad);
    }
    // A lone surrogate, which Windows allows in names, becomes U+FFFD; one at the end too.
    EXPECT_EQ(Utf8FromUtf16(std::u16string{u'x', 0xDC00, u'y', 0xD800}),
              "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(SystemLibraries, ALibraryLoadsOnDemandAndAMissingOneSaysWhy) {
    const auto known = test::SystemLibraryExport();
    const SharedLibrary library(known.library);
    ASSERT_TRUE(library.Loaded()) << library.Failure();
    EXPECT_NE(library.Symbol(known.function), nullptr);
    EXPECT_EQ(library.Symbol("no_such_function_vt"), nullptr);

    const SharedLibrary missing("libno-such-library-vt.so.9");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_NE(missing.Failure().find("no-such-library-vt"), std::string::npos) << missing.Failure();
    EXPECT_EQ(missing.Symbol(known.function), nullptr);
}

}  // namespace
}  // namespace vt::platform
