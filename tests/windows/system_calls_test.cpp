// The Windows backend over the system's own calls, on whatever runs the test (Wine in CI): each
// call answers within its bounds, and a drive lock keeps another holder out.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "access/disk_enumeration.h"
#include "platform/backend.h"

namespace vt {
namespace {

TEST(WindowsSystemCalls, EnumerationVersionLettersAndRescanAnswer) {
    DiskList disks;
    EXPECT_EQ(EnumerateDisks(disks), static_cast<int>(disks.size()));
    for (const auto& path : disks) {
        EXPECT_TRUE(path.starts_with("\\\\?\\")) << path;
        EXPECT_EQ(platform::NodeOfPath(path), path);
    }

    const auto version = platform::Current().VersionOfSystem();
    ASSERT_TRUE(version);
    EXPECT_GE(version->major, 5u);
    EXPECT_EQ(IsWindows8(), version->major == 6 && version->minor == 2);

    char letter = '?';
    EXPECT_EQ(FindDriveLetter(
                  "\\\\?\\scsi#disk&no_such_disk#0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", letter),
              0);
    EXPECT_EQ(letter, '?');

    // Where the configuration manager refuses (Wine has no device tree), the report says which
    // call failed, with its code.
    std::string report;
    if (!platform::Current().Rescan(report)) {
        EXPECT_TRUE(report.starts_with("CM_Locate_DevNode failed: ") ||
                    report.starts_with("CM_Reenumerate_DevNode failed: "))
            << report;
    }
    EXPECT_LT(platform::Current().Open("\\\\.\\PhysicalDrive97"), 0);
}

TEST(WindowsSystemCalls, ADriveLockKeepsAnotherHolderOutUntilReleased) {
    const std::string disk = "\\\\?\\ide#disk&vtutility_lock_test#0#{53f56307}";
    auto& backend = platform::Current();
    const int lock = backend.LockDevice(disk, 100);
    ASSERT_GE(lock, 0) << lock;
    // The mutex belongs to the thread that took it: another thread is another holder.
    int other = 0;
    std::thread([&] { other = backend.LockDevice(disk, 100); }).join();
    EXPECT_EQ(other, -EWOULDBLOCK);
    backend.UnlockDevice(lock);
    std::thread([&] {
        other = backend.LockDevice(disk, 100);
        if (other >= 0) backend.UnlockDevice(other);
    }).join();
    EXPECT_GE(other, 0);
}

}  // namespace
}  // namespace vt
