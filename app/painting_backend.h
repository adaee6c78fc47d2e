#pragma once
// Drive commands run on the window's thread and block it. This backend passes every request to
// the real one and, between requests, lets the windows repaint (paint events only, no input), so
// the waiting window and the main window never look dead during a long read.

#include <chrono>
#include <functional>
#include <memory>

#include "platform/backend.h"

namespace vt::app {

class PaintingBackend final : public platform::Backend {
  public:
    explicit PaintingBackend(std::function<void()> paint) : paint_(std::move(paint)) {}
    void SetInner(std::unique_ptr<platform::Backend> inner) { inner_ = std::move(inner); }

    int Open(const std::string& path) override { return inner_->Open(path); }
    int SgIo(int handle, sg_io_hdr_t& request) override;
    void Close(int handle) override { inner_->Close(handle); }
    int LockDevice(const std::string& path, std::uint32_t wait_ms) override {
        return inner_->LockDevice(path, wait_ms);
    }
    void UnlockDevice(int lock) override { inner_->UnlockDevice(lock); }
    std::vector<platform::DiskEntry> ListDisks() override { return inner_->ListDisks(); }
    bool Rescan(std::string& report) override { return inner_->Rescan(report); }
    std::optional<platform::DeviceNumber> DeviceNumberOf(const std::string& path) override {
        return inner_->DeviceNumberOf(path);
    }
    std::uint64_t NowMs() override { return inner_->NowMs(); }
    void SleepMs(std::uint32_t ms) override;

  private:
    void MaybePaint();

    std::unique_ptr<platform::Backend> inner_;
    std::function<void()> paint_;
    std::chrono::steady_clock::time_point last_paint_{};
    bool painting_ = false;
};

// Puts a PaintingBackend in front of the backend in use.
void PaintBetweenCommands(std::function<void()> paint);

}  // namespace vt::app
