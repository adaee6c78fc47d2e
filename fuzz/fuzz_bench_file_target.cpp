// The bench file parser: any bytes as a bench file, refused with a message or turned into a bench
// whose disks enumerate.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "sim/bench.h"
#include "sim/json_reader.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Through the bench file's own parser, so that its depth and duplicate-key limits are reached.
    nlohmann::json document;
    try {
        document = vt::sim::ParseBenchJson({reinterpret_cast<const char*>(data), size});
    } catch (const nlohmann::json::exception&) {
        return 0;
    } catch (const vt::sim::BenchError& refused) {
        sink = refused.problem.size();
        return 0;
    }
    std::string error;
    const auto bench = vt::sim::MakeBench(document, error);
    if (bench) {
        sink = bench->ListDisks().size();
    } else {
        sink = error.size();
    }
    return 0;
}
