#include "views/painting_backend.h"

namespace vt {
namespace {

// Often enough to look alive, rarely enough to cost nothing against a drive command.
constexpr auto kPaintInterval = std::chrono::milliseconds(50);

}  // namespace

int PaintingBackend::ScsiPassThrough(int handle, platform::ScsiRequest& request) {
    const int result = ForwardingBackend::ScsiPassThrough(handle, request);
    MaybePaint();
    return result;
}

int PaintingBackend::AtaPassThrough(int handle, platform::AtaRequest& request) {
    const int result = ForwardingBackend::AtaPassThrough(handle, request);
    MaybePaint();
    return result;
}

void PaintingBackend::SleepMs(std::uint32_t ms) {
    ForwardingBackend::SleepMs(ms);
    MaybePaint();
}

void PaintingBackend::MaybePaint() {
    const auto now = std::chrono::steady_clock::now();
    if (painting_ || now - last_paint_ < kPaintInterval) return;
    last_paint_ = now;
    painting_ = true;
    paint_();
    painting_ = false;
}

void PaintBetweenCommands(std::function<void()> paint) {
    (void)platform::Current();  // the Linux backend, unless a bench was installed
    auto painting = std::make_unique<PaintingBackend>(std::move(paint));
    auto* front = painting.get();
    front->SetInner(platform::Install(std::move(painting)));
}

}  // namespace vt
