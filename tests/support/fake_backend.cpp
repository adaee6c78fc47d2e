#include "tests/support/fake_backend.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/sat_passthrough.h"

namespace vt::test {

int FakeBackend::Open(const std::string& path) {
    opened.push_back(path);
    if (open_error != 0) return -open_error;
    handle_paths_.push_back(path);
    ++open_handles;
    return static_cast<int>(handle_paths_.size()) - 1;
}

int FakeBackend::ScsiPassThrough(int handle, platform::ScsiRequest& request) {
    RecordedRequest recorded;
    recorded.path = handle_paths_.at(static_cast<std::size_t>(handle));
    if (carried_ != nullptr) {
        recorded.ata = true;
        recorded.task_file = carried_->task_file;
    }
    const auto cdb = request.Cdb();
    recorded.cdb.assign(cdb.begin(), cdb.end());
    recorded.direction = request.direction;
    if (request.direction != platform::Direction::None) recorded.length = request.data.size();
    recorded.timeout_ms = request.timeout_ms;
    if (request.direction == platform::Direction::Out)
        recorded.data_out.assign(request.data.begin(), request.data.end());
    requests.push_back(recorded);
    request.outcome = {};
    return handler ? handler(recorded, request) : 0;
}

int FakeBackend::AtaPassThrough(int handle, platform::AtaRequest& request) {
    carried_ = &request;
    const int result = platform::SendAtaThroughSat(*this, handle, request);
    carried_ = nullptr;
    return result;
}

void FakeBackend::Close(int) {
    --open_handles;
}

bool FakeBackend::Rescan(std::string& report) {
    report = rescan_report;
    return rescan_ok;
}

ScopedFakeBackend::ScopedFakeBackend() {
    auto fake = std::make_unique<FakeBackend>();
    fake_ = fake.get();
    previous_ = platform::Install(std::move(fake));
}

ScopedFakeBackend::~ScopedFakeBackend() {
    platform::Install(std::move(previous_));
}

void SetDescriptorAtaReturn(platform::ScsiRequest& request, std::uint8_t error, std::uint8_t status,
                            std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    SetFixedSense(request, {0x72,  key, asc,  ascq, 0,    0, 0,    14, 0x09, 0x0C, 0,
                            error, 0,   0x01, 0,    0x02, 0, 0x03, 0,  0x04, 0xE0, status});
}

void SetFixedSense(platform::ScsiRequest& request, const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = std::min(bytes.size(), request.sense.size());
    std::copy_n(bytes.begin(), n, request.sense.begin());
    request.outcome.sense_length = n;
    request.outcome.scsi_status = platform::kScsiCheckCondition;
}

ScopedTempDir::ScopedTempDir() {
    char pattern[] = "/tmp/vt-test-XXXXXX";
    path_ = ::mkdtemp(pattern);
    previous_cwd_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_cwd_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vt::test
