#pragma once
// A backend for transport tests: every SCSI request is recorded byte for byte and answered by a
// handler the test sets, on a clock the test controls. ATA requests travel as the Linux backend
// sends them, inside ATA PASS-THROUGH(16), so the handler answers them as a SCSI request too.

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace vt::test {

struct RecordedRequest {
    std::string path;
    bool ata = false;                // an ATA request, recorded as the command that carried it
    platform::TaskFile task_file{};  // ATA: as sent
    std::vector<std::uint8_t> cdb;
    platform::Direction direction = platform::Direction::None;
    std::size_t length = 0;  // of the data phase
    unsigned timeout_ms = 0;
    std::vector<std::uint8_t> data_out;
};

class FakeBackend final : public platform::Backend {
  public:
    // Fills the answer: data in, outcome, sense. Returns 0 or an errno for the request.
    using Handler = std::function<int(const RecordedRequest&, platform::ScsiRequest&)>;

    int Open(const std::string& path) override;
    int ScsiPassThrough(int handle, platform::ScsiRequest& request) override;
    int AtaPassThrough(int handle, platform::AtaRequest& request) override;
    void Close(int handle) override;
    int LockDevice(const std::string& path, std::uint32_t) override {
        locked.push_back(path);
        return ++held_locks;
    }
    void UnlockDevice(int) override { --held_locks; }
    platform::DiskUse DescribeUse(const std::string&) override { return use; }
    int HoldForWriting(const std::string&) override {
        return use.InUse() ? -EBUSY : ++held_for_writing;
    }
    void ReleaseHold(int) override { --held_for_writing; }
    std::vector<platform::DiskEntry> ListDisks() override { return disks; }
    bool Rescan(std::string& report) override;
    std::optional<platform::DeviceNumber> DeviceNumberOf(const std::string&) override {
        return std::nullopt;
    }
    std::uint64_t NowMs() override { return now_ms; }
    void SleepMs(std::uint32_t ms) override { now_ms += ms; }

    Handler handler;
    std::vector<RecordedRequest> requests;
    std::vector<platform::DiskEntry> disks;
    std::vector<std::string> opened;
    std::vector<std::string> locked;  // every lock taken, in order
    int held_locks = 0;
    platform::DiskUse use;  // every disk's; a disk with users is refused for writing
    int held_for_writing = 0;
    int open_error = 0;  // errno for every open when not 0
    int open_handles = 0;
    std::uint64_t now_ms = 1000;
    std::string rescan_report;
    bool rescan_ok = true;

  private:
    std::vector<std::string> handle_paths_;
    const platform::AtaRequest* carried_ = nullptr;  // the ATA request being sent, if any
};

// Installs a FakeBackend for the test's scope and restores the previous backend after it.
class ScopedFakeBackend {
  public:
    ScopedFakeBackend();
    ~ScopedFakeBackend();
    FakeBackend& operator*() { return *fake_; }
    FakeBackend* operator->() { return fake_; }

  private:
    FakeBackend* fake_;
    std::unique_ptr<platform::Backend> previous_;
};

// Sense data helpers for handlers.
void SetDescriptorAtaReturn(platform::ScsiRequest& request, std::uint8_t error, std::uint8_t status,
                            std::uint8_t key = 0x1, std::uint8_t asc = 0x00,
                            std::uint8_t ascq = 0x1D);
void SetFixedSense(platform::ScsiRequest& request, const std::vector<std::uint8_t>& bytes);

// A fresh, empty working directory for the test's scope (raw dumps and DbgMsg.txt land there).
class ScopedTempDir {
  public:
    ScopedTempDir();
    ~ScopedTempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
    std::string previous_cwd_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);

}  // namespace vt::test
