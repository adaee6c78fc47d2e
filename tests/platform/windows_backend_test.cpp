// The Windows backend over the bench's drives: request headers, enumeration, letters, version,
// locks and the disk-in-use rule, with a double of the system's calls.

#include <gtest/gtest.h>

#include <array>
#include <cerrno>

#include "access/ata_passthrough.h"
#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "access/scsi_passthrough.h"
#include "platform/windows_backend.h"
#include "sim/bench.h"
#include "tests/support/windows_calls_double.h"

namespace vt::platform {
namespace {

using test::VolumeDouble;
using test::WindowsCallsDouble;

constexpr std::uint8_t kIdentify = 0xEC;

std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

class WindowsBackendTest : public ::testing::Test {
  protected:
    // One SATA drive, one SCSI disk and one USB bridge of the demo bench... and every other.
    void SetUp() override {
        auto calls = std::make_unique<WindowsCallsDouble>(sim::MakeDemoBench());
        os = calls.get();
        auto backend = std::make_unique<WindowsBackend>(std::move(calls));
        windows = backend.get();
        previous = Install(std::move(backend));
    }
    void TearDown() override {
        EXPECT_EQ(os->Violations(), std::vector<std::string>{});
        Install(std::move(previous));
    }
    std::string Path(std::size_t disk) const { return os->InterfacePathText(disk); }
    // Sends an ATA command on disk 0 (SATA) as the transport does; the request as sent.
    int Ata(std::uint8_t command, Direction direction, std::size_t length, bool dma = false) {
        const int handle = windows->Open(Path(0));
        EXPECT_GE(handle, 0);
        data.assign(length, 0);
        ata = AtaRequest{};
        ata.task_file = {0, 1, 0, 0, 0, 0xA0, command, 0};
        ata.direction = direction;
        ata.dma = dma;
        ata.data = data;
        ata.timeout_ms = 1500;
        const int result = windows->AtaPassThrough(handle, ata);
        windows->Close(handle);
        return result;
    }

    WindowsCallsDouble* os = nullptr;
    WindowsBackend* windows = nullptr;
    std::unique_ptr<Backend> previous;
    std::vector<std::uint8_t> data;
    AtaRequest ata;
};

TEST_F(WindowsBackendTest, AtaHeaderFlagsLengthsAndTimeOut) {
    // Without data: no flags, nothing to move; registers come back from the drive.
    ASSERT_EQ(Ata(0xE5, Direction::None, 0), 0);  // CHECK POWER MODE
    auto header = os->LastAtaHeader();
    EXPECT_EQ(header[2], 0x00);
    EXPECT_EQ(Get32(header, 8), 0u);
    EXPECT_EQ(Get32(header, 12), 2u) << "1.5 s rounds up to 2";
    EXPECT_TRUE(ata.registers_returned);
    EXPECT_EQ(ata.registers[kTaskCommand] & 0x01, 0);

    ASSERT_EQ(Ata(kIdentify, Direction::In, 512), 0);
    header = os->LastAtaHeader();
    EXPECT_EQ(header[2], 0x03);
    EXPECT_EQ(Get32(header, 8), 512u);
    EXPECT_EQ(header[40 + 6], kIdentify);
    EXPECT_NE(data[54], 0) << "the IDENTIFY data reached the caller";
    EXPECT_EQ(os->ShareOfLastDiskOpen(), 0u) << "an ATA command has the disk to itself";

    // The DMA carrier: read 86h with DMA, write 88h with DMA; 8Ah without.
    Ata(0x86, Direction::In, 512, true);
    EXPECT_EQ(os->LastAtaHeader()[2], 0x13);
    Ata(0x8A, Direction::In, 512);
    EXPECT_EQ(os->LastAtaHeader()[2], 0x03);
    Ata(0x88, Direction::Out, 512, true);
    EXPECT_EQ(os->LastAtaHeader()[2], 0x15);

    // 64 KiB is the most one request moves; a byte more is refused before anything is sent.
    Ata(0x86, Direction::In, 65536, true);
    EXPECT_EQ(Get32(os->LastAtaHeader(), 8), 65536u);
    const auto sent = os->AtaRequests();
    EXPECT_EQ(Ata(0x86, Direction::In, 65537, true), EINVAL);
    EXPECT_EQ(os->AtaRequests(), sent);
    EXPECT_EQ(os->OpenHandles(), 0u);
}

TEST_F(WindowsBackendTest, AtaExtendedCommandsErrorsAndFailures) {
    // READ SECTOR(S) EXT at LBA 2^32 + 5: the high bytes travel in the previous task file.
    const int handle = windows->Open(Path(0));
    std::vector<std::uint8_t> sector(512);
    AtaRequest read;
    read.task_file = {0, 1, 5, 0, 0, 0x40, 0x24, 0};
    read.extended = true;
    read.previous = {0, 0, 0, 1, 0};
    read.direction = Direction::In;
    read.data = sector;
    ASSERT_EQ(windows->AtaPassThrough(handle, read), 0);
    const auto header = os->LastAtaHeader();
    EXPECT_EQ(header[2], 0x0B);
    EXPECT_EQ(header[32 + 3], 1);
    EXPECT_EQ(Get32(header, 12), 10u) << "the default time-out";

    // An unknown command ends with ERR: the drive's ERROR and STATUS reach the caller.
    AtaRequest unknown;
    unknown.task_file = {0, 0, 0, 0, 0, 0xA0, 0x01, 0};
    ASSERT_EQ(windows->AtaPassThrough(handle, unknown), 0);
    EXPECT_TRUE(unknown.registers[kTaskCommand] & 0x01);
    EXPECT_FALSE(unknown.RanWithoutError());

    // The driver failing the request is an error of the request, not a drive answer.
    os->ata_failure = win_error::kSemTimeout;
    EXPECT_EQ(windows->AtaPassThrough(handle, read), 0);
    EXPECT_EQ(read.outcome.transport, Transport::TimedOut);
    EXPECT_FALSE(read.RanWithoutError());
    os->ata_failure = win_error::kInvalidParameter;
    EXPECT_EQ(windows->AtaPassThrough(handle, read), EINVAL);
    windows->Close(handle);
}

TEST_F(WindowsBackendTest, ScsiHeaderSenseAndResidue) {
    // The SCSI disk of the demo (disk 2): INQUIRY of 40 bytes with a 12-byte block.
    const int handle = windows->Open(Path(2));
    ASSERT_GE(handle, 0);
    EXPECT_EQ(os->ShareOfLastDiskOpen(), kShareRead | kShareWrite);
    std::array<std::uint8_t, 40> inquiry{};
    std::array<std::uint8_t, 32> sense{};
    ScsiRequest request;
    request.SetCdb(std::array<std::uint8_t, 12>{0x12, 0, 0, 0, 40, 0});
    request.direction = Direction::In;
    request.data = inquiry;
    request.sense = sense;
    ASSERT_EQ(windows->ScsiPassThrough(handle, request), 0);
    auto header = os->LastScsiHeader();
    EXPECT_EQ(header[6], 12);
    EXPECT_EQ(header[8], 1);
    EXPECT_EQ(Get32(header, 12), 40u);
    EXPECT_EQ(Get32(header, 32), 56u);
    EXPECT_GT(header[7], 0) << "a sense area goes with every request";
    EXPECT_EQ(request.outcome.scsi_status, kScsiGood);
    EXPECT_NE(inquiry[8], 0);

    // An opcode the disk does not know: CHECK CONDITION and its sense reach the caller.
    ScsiRequest bad;
    bad.SetCdb(std::array<std::uint8_t, 6>{0xFF, 0, 0, 0, 0, 0});
    bad.sense = sense;
    ASSERT_EQ(windows->ScsiPassThrough(handle, bad), 0);
    EXPECT_EQ(os->LastScsiHeader()[8], 2) << "no data phase";
    EXPECT_EQ(bad.outcome.scsi_status, kScsiCheckCondition);
    ASSERT_GT(bad.outcome.sense_length, 2u);
    EXPECT_EQ(sense[2] & 0x0F, 0x05);  // ILLEGAL REQUEST
    windows->Close(handle);

    // Through the transport, such a command is a failure now.
    int transferred = 0;
    std::array<std::uint8_t, 12> block{0xFF};
    std::array<std::uint8_t, 8> none{};
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue(Path(2), block, none, 8, transferred, 10), 0);
    // A one-byte read moves two bytes and hands on the first.
    std::array<std::uint8_t, 1> one{};
    std::array<std::uint8_t, 12> inquiry1{0x12, 0, 0, 0, 1};
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue(Path(2), inquiry1, one, 1, transferred, 10), 1);
    EXPECT_EQ(Get32(os->LastScsiHeader(), 12), 2u);
}

TEST_F(WindowsBackendTest, OpenErrorsAndDriveLocks) {
    EXPECT_EQ(windows->Open("\\\\?\\ide#nothing#here"), -ENOENT);
    os->denied_paths.insert(L"\\\\?\\ide#denied#x");
    EXPECT_EQ(windows->Open("\\\\?\\ide#denied#x"), -EACCES);
    // Another process holding the first disk: the wait ends in -EWOULDBLOCK.
    os->foreign_mutexes.insert(DiskMutexName(DeviceNumber{7, 0}, ""));
    EXPECT_EQ(windows->LockDevice(Path(0), 100), -EWOULDBLOCK);
    const int lock = windows->LockDevice(Path(1), 100);
    EXPECT_GE(lock, 0);
    windows->UnlockDevice(lock);
    // A disk without a device number is guarded by its path, a name without backslashes.
    const int by_path = windows->LockDevice("\\\\?\\ide#gone#x", 100);
    EXPECT_GE(by_path, 0);
    windows->UnlockDevice(by_path);
    EXPECT_EQ(os->OpenHandles(), 0u);
}

TEST_F(WindowsBackendTest, EnumerationKeepsThePathsAndEndsAtAFailedDetail) {
    DiskList disks;
    ASSERT_EQ(EnumerateDisks(disks), 7);
    EXPECT_EQ(disks[0], Path(0));
    EXPECT_EQ(BusOfPath(disks[0]), "ide");
    EXPECT_EQ(BusOfPath(disks[2]), "scsi");
    EXPECT_EQ(BusOfPath(disks[5]), "usb");
    EXPECT_EQ(NodeOfPath(disks[5]), disks[5]);
    os->detail_fails_at = 3;
    EXPECT_EQ(EnumerateDisks(disks), 3);
    os->no_device_set = true;
    EXPECT_EQ(EnumerateDisks(disks), 0);

    // The rescan goes to the configuration manager and says what failed.
    std::string report;
    EXPECT_TRUE(windows->Rescan(report));
    EXPECT_TRUE(os->Rescanned());
    os->reenumerate_result = 0x1F;
    EXPECT_FALSE(windows->Rescan(report));
    EXPECT_EQ(report, "CM_Reenumerate_DevNode failed: 1f\n");
}

TEST_F(WindowsBackendTest, DriveLettersSkipTheSystemDriveAndVersionSixTwoOnly) {
    char letter = '?';
    EXPECT_EQ(FindDriveLetter(Path(0), letter), 0) << "a disk without volumes";
    EXPECT_EQ(letter, '?');
    os->volumes = {{L"\\\\?\\Volume{1}\\", {0}, {L"C:\\"}},
                   {L"\\\\?\\Volume{2}\\", {0}, {L"E:\\"}},
                   {L"\\\\?\\Volume{3}\\", {1}, {L"F:\\"}},
                   {L"\\\\?\\Volume{4}\\", {1}, {L"D:\\"}}};
    EXPECT_EQ(FindDriveLetter(Path(0), letter), 1);
    EXPECT_EQ(letter, 'E');
    EXPECT_EQ(FindDriveLetter(Path(1), letter), 1);
    EXPECT_EQ(letter, 'D');
    EXPECT_EQ(FindDriveLetter(Path(5), letter), 0);

    EXPECT_FALSE(IsWindows8());
    os->extended_version = OsVersion{6, 3, 9600};
    EXPECT_FALSE(IsWindows8());
    os->extended_version = std::nullopt;  // only the basic record answers
    os->basic_version = OsVersion{6, 2, 9200};
    EXPECT_TRUE(IsWindows8());
    os->basic_version = std::nullopt;
    EXPECT_FALSE(IsWindows8());
}

TEST_F(WindowsBackendTest, IdentifyThroughTheDiskDriver) {
    std::array<std::uint8_t, 512> identify{};
    ASSERT_TRUE(IdentifyViaDriver(Path(0), 2, DEVICE_IDE, identify, 512));
    EXPECT_EQ(std::string(identify.begin() + 54, identify.begin() + 77), "Vantrel VT538 SSD 256GB");
    EXPECT_EQ(os->AtaRequests(), 0u) << "not through the pass-through";
    // Failure leaves the buffer as it was.
    std::array<std::uint8_t, 512> untouched{};
    EXPECT_FALSE(IdentifyViaDriver("\\\\?\\ide#gone#x", 1, DEVICE_IDE, untouched, 512));
    EXPECT_EQ(untouched, (std::array<std::uint8_t, 512>{}));
}

TEST_F(WindowsBackendTest, DiskInUseIsNeverHeldAndFreeVolumesAreLockedUntilRelease) {
    os->volumes = {{L"\\\\?\\Volume{1}\\", {0}, {L"C:\\"}},
                   {L"\\\\?\\Volume{2}\\", {1}, {L"E:\\", L"C:\\data\\"}},
                   {L"\\\\?\\Volume{3}\\", {2}, {}},
                   {L"\\\\?\\Volume{4}\\", {2, 5}, {}},
                   {L"\\\\?\\Volume{5}\\", {3}, {}, false}};
    // The system's disk.
    const auto system = windows->DescribeUse(Path(0));
    EXPECT_TRUE(system.HoldsRoot());
    EXPECT_EQ(windows->HoldForWriting(Path(0)), -EBUSY);
    // A mounted volume refuses the hold, and the description names it.
    const auto mounted = windows->DescribeUse(Path(1));
    EXPECT_FALSE(mounted.HoldsRoot());
    ASSERT_EQ(mounted.users.size(), 2u);
    EXPECT_EQ(mounted.users[0].device, "\\\\?\\Volume{2}\\");
    EXPECT_EQ(mounted.users[0].what, "E:\\");
    EXPECT_EQ(windows->HoldForWriting(Path(1)), -EBUSY);
    // Unmounted volumes (one spanning another disk too) are locked, and unlocked at release.
    EXPECT_FALSE(windows->DescribeUse(Path(2)).InUse());
    const int hold = windows->HoldForWriting(Path(2));
    ASSERT_GE(hold, 0);
    EXPECT_TRUE(os->volumes[2].locked && os->volumes[3].locked);
    EXPECT_FALSE(os->volumes[1].locked);
    EXPECT_EQ(windows->HoldForWriting(Path(5)), -EBUSY) << "its volume is locked already";
    windows->ReleaseHold(hold);
    EXPECT_FALSE(os->volumes[2].locked || os->volumes[3].locked);
    // A volume something has open does not lock: refused.
    EXPECT_EQ(windows->HoldForWriting(Path(3)), -EBUSY);
    // A disk without volumes is simply held.
    int bare = windows->HoldForWriting(Path(4));
    EXPECT_GE(bare, 0);
    windows->ReleaseHold(bare);
    // A volume whose disks cannot be read may be on any disk: nothing is held. One without a
    // medium is on none.
    os->volumes.push_back(
        {L"\\\\?\\Volume{6}\\", {4}, {L"G:\\"}, true, false, win_error::kNotReady});
    EXPECT_GE(bare = windows->HoldForWriting(Path(4)), 0);
    windows->ReleaseHold(bare);
    os->volumes.back().extents_error = win_error::kIoDevice;
    EXPECT_EQ(windows->HoldForWriting(Path(4)), -EIO);
    EXPECT_TRUE(windows->DescribeUse(Path(4)).users.empty());
    EXPECT_EQ(os->OpenHandles(), 0u);
}

}  // namespace
}  // namespace vt::platform
