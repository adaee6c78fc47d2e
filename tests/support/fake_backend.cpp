#include "tests/support/fake_backend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

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
    // A fresh name under the system's temporary folder, made by this call alone (create_directory
    // says false for a name that exists); a test without its directory stops here.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937_64 random(std::uint64_t{seed()} << 32 | seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "vt-test-%016llx",
                      static_cast<unsigned long long>(random()));
        const std::filesystem::path candidate = base / name;
        if (std::filesystem::create_directory(candidate)) {
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace);
            path_ = candidate.generic_string();
        }
    }
    if (path_.empty()) throw std::runtime_error("no temporary directory in " + base.string());
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
