#include "tests/ctrl/bench_drive.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "access/device_tables.h"
#include "vendor/carrier.h"

namespace vt::test {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

}  // namespace

Blob& Blob::Put(std::size_t at, const std::vector<std::uint8_t>& bytes) {
    patches_.push_back({{"at", at}, {"hex", Hex(bytes)}});
    return *this;
}

Blob& Blob::Put16(std::size_t at, std::uint16_t value) {
    return Put(at, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
}

Blob& Blob::Put32(std::size_t at, std::uint32_t value) {
    Put16(at, static_cast<std::uint16_t>(value));
    return Put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

Blob& Blob::Text(std::size_t at, const std::string& text) {
    return Put(at, std::vector<std::uint8_t>(text.begin(), text.end()));
}

nlohmann::json Blob::Json() const {
    char fill[3];
    std::snprintf(fill, sizeof fill, "%02X", fill_);
    return {{"size", size_}, {"fill", fill}, {"patches", patches_}};
}

Blob IdentifyBlob(std::uint32_t sectors, const std::string& model) {
    Blob identify(512);
    identify.Put32(120, sectors);
    std::vector<std::uint8_t> text(40, ' ');
    for (std::size_t i = 0; i < model.size() && i < text.size(); ++i) text[i ^ 1] = model[i];
    identify.Put(54, text);
    return identify;
}

BenchDrive::BenchDrive(nlohmann::json drive) {
    std::string error;
    auto backend = sim::MakeBench({{"drives", nlohmann::json::array({std::move(drive)})}}, error);
    if (!backend) {
        ADD_FAILURE() << error;
        return;
    }
    bench_ = &sim::BenchOf(*backend);
    previous_ = platform::Install(std::move(backend));
    DeviceEntry& entry = EntryOf(0);
    entry = DeviceEntry{};
    entry.DevicePath = bench_->PathOf(0);
    entry.AtaPassThrough = 1;
    CarrierMode = 2;
    VA_UnlockVendorCmd(0);
    bench_->ClearLog();
}

BenchDrive::~BenchDrive() {
    if (previous_) platform::Install(std::move(previous_));
    EntryOf(0) = DeviceEntry{};
}

std::vector<sim::LoggedCommand> VendorCommands(const std::vector<sim::LoggedCommand>& log,
                                               std::uint8_t sub_command) {
    std::vector<sim::LoggedCommand> found;
    for (const auto& c : log) {
        const bool vendor =
            c.kind == sim::CommandKind::VendorCarrier || c.kind == sim::CommandKind::VendorDirect;
        if (vendor && c.sub_command == sub_command) found.push_back(c);
    }
    return found;
}

std::uint16_t BlockParam16(const sim::LoggedCommand& command, std::size_t at) {
    return static_cast<std::uint16_t>(command.block[at] << 8 | command.block[at + 1]);
}

std::uint32_t AtaLba(const sim::LoggedCommand& command) {
    return static_cast<std::uint32_t>(command.device & 0x0F) << 24 |
           static_cast<std::uint32_t>(command.lba_high) << 16 |
           static_cast<std::uint32_t>(command.lba_mid) << 8 | command.lba_low;
}

}  // namespace vt::test
