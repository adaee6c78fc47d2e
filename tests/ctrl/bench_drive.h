#pragma once
// One virtual drive on the bench as device 0, unlocked, for the controller data tests; and the
// byte images those tests describe it with.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "sim/bench.h"

namespace vt::test {

// A BLOB of the bench file: a size, a fill byte and patches.
class Blob {
  public:
    explicit Blob(std::size_t size, std::uint8_t fill = 0) : size_(size), fill_(fill) {}
    Blob& Put(std::size_t at, const std::vector<std::uint8_t>& bytes);
    Blob& Put8(std::size_t at, std::uint8_t value) { return Put(at, {value}); }
    Blob& Put16(std::size_t at, std::uint16_t value);
    Blob& Put32(std::size_t at, std::uint32_t value);
    Blob& Text(std::size_t at, const std::string& text);
    nlohmann::json Json() const;

  private:
    std::size_t size_;
    std::uint8_t fill_;
    nlohmann::json patches_ = nlohmann::json::array();
};

// IDENTIFY data reporting a capacity in words 60-61 and, optionally, a model (words 27-46, in the
// drive's byte order).
Blob IdentifyBlob(std::uint32_t sectors, const std::string& model = "");

// Installs a bench holding the drive and makes it device 0 (ATA pass-through), unlocked; restores
// the previous backend and device entry afterwards.
class BenchDrive {
  public:
    explicit BenchDrive(nlohmann::json drive);
    ~BenchDrive();
    BenchDrive(const BenchDrive&) = delete;
    BenchDrive& operator=(const BenchDrive&) = delete;

    sim::Bench& bench() { return *bench_; }
    sim::VirtualDrive& drive() { return bench_->Drive(0); }
    std::vector<sim::LoggedCommand> VendorLog() const { return bench_->VendorLog(0); }
    const std::vector<sim::LoggedCommand>& Log() const { return bench_->Log(0); }
    // Puts a backend between the tool and the bench; it is handed the bench's backend first.
    template <typename Wrapper>
    Wrapper& Wrap() {
        auto wrapper = std::make_unique<Wrapper>(platform::Install(nullptr));
        Wrapper& installed = *wrapper;
        platform::Install(std::move(wrapper));
        return installed;
    }

  private:
    sim::Bench* bench_ = nullptr;
    std::unique_ptr<platform::Backend> previous_;
};

// The sub-command's logged vendor commands.
std::vector<sim::LoggedCommand> VendorCommands(const std::vector<sim::LoggedCommand>& log,
                                               std::uint8_t sub_command);
// A big-endian 16-bit parameter of a logged vendor block.
std::uint16_t BlockParam16(const sim::LoggedCommand& command, std::size_t at);
// The 28-bit LBA of a logged ATA command.
std::uint32_t AtaLba(const sim::LoggedCommand& command);

}  // namespace vt::test
