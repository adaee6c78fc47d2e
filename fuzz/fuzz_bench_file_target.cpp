// The bench file parser: any bytes as a bench file, refused with a message or turned into a bench
// whose disks enumerate.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "sim/bench.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto document = nlohmann::json::parse(data, data + size, nullptr, false);
    if (document.is_discarded()) return 0;
    std::string error;
    const auto bench = vt::sim::MakeBench(document, error);
    if (bench) {
        sink = bench->ListDisks().size();
    } else {
        sink = error.size();
    }
    return 0;
}
