#include "sim/faults.h"

namespace vt::sim {

const char* EffectName(FaultEffect effect) {
    switch (effect) {
        case FaultEffect::Fail:
            return "fail";
        case FaultEffect::Timeout:
            return "timeout";
        case FaultEffect::Gone:
            return "gone";
    }
    return "";
}

FaultSet::FaultSet(std::vector<FaultSpec> specs) {
    for (auto& spec : specs) faults_.push_back({spec, 0});
}

std::optional<FaultEffect> FaultSet::Check(FaultTarget target, std::uint8_t code) {
    std::optional<FaultEffect> hit;
    for (auto& fault : faults_) {
        if (fault.spec.target != target || fault.spec.code != code) continue;
        const std::uint64_t index = fault.seen++;
        const bool past_skip = index >= fault.spec.skip;
        const bool within_count = !fault.spec.count || index - fault.spec.skip < *fault.spec.count;
        if (!hit && past_skip && within_count) hit = fault.spec.effect;
    }
    return hit;
}

}  // namespace vt::sim
