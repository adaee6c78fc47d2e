#pragma once
// A backend in front of another: every operation passes to the one it wraps. Layers that watch or
// change the request stream (recording, repainting, tests that tamper with answers) override only
// what they touch.

#include <memory>
#include <utility>

#include "platform/backend.h"

namespace vt::platform {

class ForwardingBackend : public Backend {
  public:
    explicit ForwardingBackend(std::unique_ptr<Backend> inner = nullptr)
        : inner_(std::move(inner)) {}

    void SetInner(std::unique_ptr<Backend> inner) { inner_ = std::move(inner); }
    std::unique_ptr<Backend> TakeInner() { return std::move(inner_); }

    int Open(const std::string& path) override { return inner_->Open(path); }
    int ScsiPassThrough(int handle, ScsiRequest& request) override {
        return inner_->ScsiPassThrough(handle, request);
    }
    int AtaPassThrough(int handle, AtaRequest& request) override {
        return inner_->AtaPassThrough(handle, request);
    }
    void Close(int handle) override { inner_->Close(handle); }
    int LockDevice(const std::string& path, std::uint32_t wait_ms) override {
        return inner_->LockDevice(path, wait_ms);
    }
    void UnlockDevice(int lock) override { inner_->UnlockDevice(lock); }
    DiskUse DescribeUse(const std::string& path) override { return inner_->DescribeUse(path); }
    int HoldForWriting(const std::string& path) override { return inner_->HoldForWriting(path); }
    void ReleaseHold(int hold) override { inner_->ReleaseHold(hold); }
    std::vector<DiskEntry> ListDisks() override { return inner_->ListDisks(); }
    bool Rescan(std::string& report) override { return inner_->Rescan(report); }
    std::optional<DeviceNumber> DeviceNumberOf(const std::string& path) override {
        return inner_->DeviceNumberOf(path);
    }
    std::optional<char> DriveLetterOf(const std::string& path) override {
        return inner_->DriveLetterOf(path);
    }
    std::optional<SystemVersion> VersionOfSystem() override { return inner_->VersionOfSystem(); }
    int IdentifyThroughDriver(const std::string& path, int index,
                              std::span<std::uint8_t, 512> data) override {
        return inner_->IdentifyThroughDriver(path, index, data);
    }
    std::uint64_t NowMs() override { return inner_->NowMs(); }
    void SleepMs(std::uint32_t ms) override { inner_->SleepMs(ms); }

  private:
    std::unique_ptr<Backend> inner_;
};

}  // namespace vt::platform
