// The helper's request decoder, then its server on the demo bench with a disk open: whatever a
// client sends, an accepted request encodes back to the same bytes, and every answer decodes.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <variant>

#include "platform/helper_server.h"
#include "sim/bench.h"

namespace {

using namespace vt::platform::helper;

vt::platform::Backend& Bench() {
    static const std::unique_ptr<vt::platform::Backend> bench = vt::sim::MakeDemoBench();
    return *bench;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> body(data, size);
    auto decoded = DecodeRequest(body);
    if (const auto* request = std::get_if<Request>(&decoded)) {
        const auto again = EncodeRequest(*request);
        if (!std::equal(again.begin(), again.end(), body.begin(), body.end())) std::abort();
    }

    Server server(Bench(), true);
    Request open;
    open.op = Op::Open;
    open.path = "ide:/dev/sda";
    server.Answer(EncodeRequest(open));  // handle 1, as the seeds use it
    const auto answer = server.Answer(body);
    if (answer.size() > kMaxFrame || !std::holds_alternative<Answer>(DecodeAnswer(answer)))
        std::abort();
    return 0;
}
