#pragma once
// Drive commands run on the window's thread and block it. This backend passes every request to
// the real one and, between requests, lets the windows repaint (paint events only, no input), so
// the waiting window and the main window never look dead during a long read.

#include <chrono>
#include <functional>
#include <memory>

#include "platform/forwarding_backend.h"

namespace vt {

class PaintingBackend final : public platform::ForwardingBackend {
  public:
    explicit PaintingBackend(std::function<void()> paint) : paint_(std::move(paint)) {}

    int ScsiPassThrough(int handle, platform::ScsiRequest& request) override;
    int AtaPassThrough(int handle, platform::AtaRequest& request) override;
    void SleepMs(std::uint32_t ms) override;

  private:
    void MaybePaint();

    std::function<void()> paint_;
    std::chrono::steady_clock::time_point last_paint_{};
    bool painting_ = false;
};

// Puts a PaintingBackend in front of the backend in use.
void PaintBetweenCommands(std::function<void()> paint);

}  // namespace vt
