#pragma once
// Injected failures: a command of a chosen kind fails, never completes, or takes the disk away,
// after a chosen number of such commands went through.

#include <cstdint>
#include <optional>
#include <vector>

namespace vt::sim {

enum class FaultTarget { Vendor, Ata, Scsi };
enum class FaultEffect { Fail, Timeout, Gone };

struct FaultSpec {
    FaultTarget target = FaultTarget::Ata;
    std::uint8_t code = 0;
    std::uint64_t skip = 0;
    std::optional<std::uint64_t> count;  // none: every matching command after the skipped ones
    FaultEffect effect = FaultEffect::Fail;
};

// "fail", "timeout" or "gone", as the bench file names the effect.
const char* EffectName(FaultEffect effect);

// The faults of one disk with the number of matching commands each has seen.
class FaultSet {
  public:
    FaultSet() = default;
    explicit FaultSet(std::vector<FaultSpec> specs);

    // Counts one arriving command against every fault that matches it and returns the effect of the
    // first fault (in bench file order) that hits it.
    std::optional<FaultEffect> Check(FaultTarget target, std::uint8_t code);

  private:
    struct Armed {
        FaultSpec spec;
        std::uint64_t seen = 0;
    };
    std::vector<Armed> faults_;
};

}  // namespace vt::sim
