#include "tests/support/fake_backend.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vt::test {

int FakeBackend::Open(const std::string& path) {
    opened.push_back(path);
    if (open_error != 0) return -open_error;
    handle_paths_.push_back(path);
    ++open_handles;
    return static_cast<int>(handle_paths_.size()) - 1;
}

int FakeBackend::SgIo(int handle, sg_io_hdr_t& request) {
    RecordedRequest recorded;
    recorded.path = handle_paths_.at(static_cast<std::size_t>(handle));
    recorded.cdb.assign(request.cmdp, request.cmdp + request.cmd_len);
    recorded.direction = request.dxfer_direction;
    recorded.dxfer_len = request.dxfer_len;
    recorded.timeout_ms = request.timeout;
    if (request.dxfer_direction == SG_DXFER_TO_DEV && request.dxferp != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(request.dxferp);
        recorded.data_out.assign(bytes, bytes + request.dxfer_len);
    }
    requests.push_back(recorded);
    return handler ? handler(recorded, request) : 0;
}

void FakeBackend::Close(int) { --open_handles; }

bool FakeBackend::Rescan(std::string& report) {
    report = rescan_report;
    return rescan_ok;
}

ScopedFakeBackend::ScopedFakeBackend() {
    auto fake = std::make_unique<FakeBackend>();
    fake_ = fake.get();
    previous_ = platform::Install(std::move(fake));
}

ScopedFakeBackend::~ScopedFakeBackend() { platform::Install(std::move(previous_)); }

void SetDescriptorAtaReturn(sg_io_hdr_t& request, std::uint8_t error, std::uint8_t status,
                            std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    const std::uint8_t sense[22] = {0x72, key, asc, ascq, 0, 0, 0, 14,
                                    0x09, 0x0C, 0, error, 0, 0x01, 0, 0x02,
                                    0, 0x03, 0, 0x04, 0xE0, status};
    std::memcpy(request.sbp, sense, std::min<std::size_t>(sizeof sense, request.mx_sb_len));
    request.sb_len_wr = static_cast<unsigned char>(std::min<std::size_t>(sizeof sense, request.mx_sb_len));
    request.status = 0x02;
    request.masked_status = 0x01;
    request.driver_status = 0x08;
}

void SetFixedSense(sg_io_hdr_t& request, const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), request.mx_sb_len);
    std::memcpy(request.sbp, bytes.data(), n);
    request.sb_len_wr = static_cast<unsigned char>(n);
    request.status = 0x02;
    request.masked_status = 0x01;
    request.driver_status = 0x08;
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
