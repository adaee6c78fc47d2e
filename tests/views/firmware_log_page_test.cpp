// The "Uart Log of F/W" page on the main form, against drives of the bench: the firmware reading
// its logs from memory, the loader reading their serial-flash copies through a GDP program, and
// the demo bench end to end.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "pages/firmware_log.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "vendor/carrier.h"
#include "vendor/code_loading.h"
#include "vendor/system_info.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt {
namespace {

using nlohmann::json;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

constexpr std::uint8_t kReadMemoryCode = 0x86;
constexpr std::uint8_t kReadSpiFlashCode = 0x0B;
constexpr std::uint8_t kReadDramLayoutCode = 0x20;

std::string Hex(const Bytes& bytes) {
    std::string text;
    char pair[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Be32(const std::array<std::uint8_t, 16>& block, std::size_t at) {
    return std::uint32_t{block[at]} << 24 | std::uint32_t{block[at + 1]} << 16 |
           std::uint32_t{block[at + 2]} << 8 | block[at + 3];
}

Bytes ErrLog(std::uint32_t write_position, std::uint16_t head_mark) {
    Bytes record(2048, 0);
    const std::string mark = "ErLog01";
    std::copy(mark.begin(), mark.end(), record.begin());
    PutLe32(record, 16, write_position);
    record[26] = static_cast<std::uint8_t>(head_mark);
    record[27] = static_cast<std::uint8_t>(head_mark >> 8);
    return record;
}

Bytes Layout(std::uint32_t err_address, std::uint32_t err_size, std::uint32_t uart_address,
             std::uint32_t uart_size) {
    Bytes record(512, 0);
    PutLe32(record, 20, err_address);
    PutLe32(record, 24, err_size);
    PutLe32(record, 28, uart_address);
    PutLe32(record, 32, uart_size);
    return record;
}

// A ring of `size` bytes holding the entries from byte `at` on, wrapping at its end; the rest
// is filled with dots.
Bytes Ring(std::size_t size, std::size_t at,
           const std::vector<std::pair<int, std::string>>& entries) {
    Bytes ring(size, '.');
    for (const auto& [number, text] : entries) {
        const std::uint8_t head[] = {kUartLogMarker, static_cast<std::uint8_t>(number),
                                     static_cast<std::uint8_t>(number >> 8), 0, 0};
        for (const auto b : head) ring[at++ % size] = b;
        for (const char c : text) ring[at++ % size] = static_cast<std::uint8_t>(c);
    }
    return ring;
}

class FirmwareLogPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RawDumpEnabled = false;
        UseDramLayout = false;
    }
    void Start(json drive) {
        std::string error;
        auto backend = sim::MakeBench({{"drives", json::array({std::move(drive)})}}, error);
        ASSERT_TRUE(backend) << error;
        bench = &sim::BenchOf(*backend);
        previous = platform::Install(std::move(backend));
        CarrierMode = 2;
        DeviceEntry& entry = EntryOf(0);
        entry = DeviceEntry{};
        entry.DevicePath = bench->PathOf(0);
        entry.AtaPassThrough = 1;
        VA_UnlockVendorCmd(0);
        bench->ClearLog();
        CurrentDevice = 0;
        FormEnvironment environment;
        environment.program_dir = dir.path();
        form = std::make_unique<TMainForm>(ui, environment);
    }
    void StartInstalled(std::unique_ptr<platform::BenchBackend> backend) {
        bench = &sim::BenchOf(*backend);
        previous = platform::Install(std::move(backend));
        FormEnvironment environment;
        environment.program_dir = dir.path();
        form = std::make_unique<TMainForm>(ui, environment);
    }
    void TearDown() override {
        form.reset();
        if (previous) platform::Install(std::move(previous));
        for (auto& entry : DeviceTable) entry = DeviceEntry{};
        SystemInfo = SystemInfoRecord{};
        RawDumpEnabled = SpecialMode = DebugFileEnabled = false;
        UseDramLayout = false;
    }
    std::vector<sim::LoggedCommand> Commands(std::uint8_t code) const {
        std::vector<sim::LoggedCommand> found;
        for (const auto& command : bench->VendorLog(0)) {
            if (command.sub_command == code) found.push_back(command);
        }
        return found;
    }
    // Address and sector count of each memory read.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> MemoryReads() const {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;
        for (const auto& command : Commands(kReadMemoryCode)) {
            reads.emplace_back(Be32(command.block, 4), command.sectors);
        }
        return reads;
    }
    void WriteGdp() {
        std::ofstream(dir.File("GDP.bin"), std::ios::binary) << std::string(4096, '\x11');
    }

    test::ScopedTempDir dir;
    HeadlessPresentation ui;
    sim::Bench* bench = nullptr;
    std::unique_ptr<platform::Backend> previous;
    std::unique_ptr<TMainForm> form;
};

json FirmwareDrive(const Bytes& err_log, const Bytes& ring) {
    return {{"bus", "ide"},
            {"vendor", true},
            {"memory", {{"3:0xDC000", Hex(err_log)}, {"3:0xDC800", Hex(ring)}}}};
}

TEST_F(FirmwareLogPageTest, FixedLocationsAreReadWhenNoLayoutIsWanted) {
    const auto ring = Ring(8192, 8000, {{1, "one\n"}, {2, "two"}});
    Start(FirmwareDrive(ErrLog(8000, 1), ring));
    form->ShowFWDebugMessage(1);

    EXPECT_TRUE(ui.TabVisible("TabSheet8"));
    EXPECT_TRUE(Commands(kReadDramLayoutCode).empty());
    EXPECT_EQ(MemoryReads(),
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0xDC000, 4}, {0xDC800, 16}}));
    const auto lines = ui.Lines("UartLogMemo");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "[0001, 0000]one\n");
    EXPECT_EQ(lines[2].substr(0, 15), "[0002, 0000]two");
    // The rest of the ring follows, once: 8192 bytes less the two entry heads and texts.
    EXPECT_EQ(lines[2].size(), 12u + 3u + (8192u - 5 - 4 - 5 - 3));
}

TEST_F(FirmwareLogPageTest, LayoutRecordNamesASmallerRingReadInItsOwnSectors) {
    // 4096 bytes, the last entry wrapping over the ring's end.
    const auto ring = Ring(4096, 4090, {{7, "wrapped text"}, {8, "next"}});
    json drive = FirmwareDrive(ErrLog(0, 0), {});
    drive["memory"] = {{"3:0x100000", Hex(ErrLog(4090, 1))}, {"3:0x200000", Hex(ring)}};
    drive["dram_layout"] = Hex(Layout(0x100000, 0x200, 0x200000, 4096));
    Start(drive);
    UseDramLayout = true;
    form->ShowFWDebugMessage(1);

    EXPECT_EQ(Commands(kReadDramLayoutCode).size(), 1u);
    EXPECT_EQ(MemoryReads(),
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x100000, 1}, {0x200000, 8}}));
    const auto lines = ui.Lines("UartLogMemo");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "[0007, 0000]wrapped text");
    EXPECT_EQ(lines[2].substr(0, 16), "[0008, 0000]next");
}

TEST_F(FirmwareLogPageTest, UntrustedLayoutRecordsFallBackToTheFixedLocations) {
    const std::uint32_t too_big = kTransferBufferSize + 512;
    for (const auto& record :
         {Layout(0x100000, 0x800, 0x200000, 0), Layout(0x100000, 0x800, 0x200000, too_big),
          Layout(0x100000, too_big, 0x200000, 0x1000)}) {
        TearDown();
        SetUp();
        json drive = FirmwareDrive(ErrLog(0, 0), Ring(8192, 0, {{3, "fixed"}}));
        drive["dram_layout"] = Hex(record);
        Start(drive);
        UseDramLayout = true;
        form->ShowFWDebugMessage(1);
        EXPECT_EQ(MemoryReads(), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                     {0xDC000, 4}, {0xDC800, 16}}));
        ASSERT_EQ(ui.Lines("UartLogMemo").size(), 2u);
        EXPECT_EQ(ui.Lines("UartLogMemo")[1].substr(0, 17), "[0003, 0000]fixed");
        ui.ClearLines("UartLogMemo");
    }
}

TEST_F(FirmwareLogPageTest, HeadMarkZeroReadsTheRingFromItsFirstByte) {
    Start(FirmwareDrive(ErrLog(100, 0), Ring(8192, 0, {{1, "first"}})));
    form->ShowFWDebugMessage(1);
    const auto lines = ui.Lines("UartLogMemo");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1].substr(0, 17), "[0001, 0000]first");
}

TEST_F(FirmwareLogPageTest, FailedErrorLogReadStartsTheWalkAtZero) {
    json drive = FirmwareDrive(ErrLog(4000, 1), Ring(8192, 0, {{1, "first"}}));
    drive["faults"] = json::array({{{"op", "vendor:86"}, {"count", 1u}, {"effect", "fail"}}});
    Start(drive);
    form->ShowFWDebugMessage(1);
    const auto lines = ui.Lines("UartLogMemo");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "");
}

TEST_F(FirmwareLogPageTest, FailedRingReadLeavesTheMemoAsItWas) {
    json drive = FirmwareDrive(ErrLog(0, 0), Ring(8192, 0, {{1, "first"}}));
    drive["faults"] =
        json::array({{{"op", "vendor:86"}, {"skip", 1u}, {"count", 1u}, {"effect", "fail"}}});
    Start(drive);
    ui.SetLines("UartLogMemo", {"kept"});
    form->ShowFWDebugMessage(1);
    EXPECT_EQ(ui.Lines("UartLogMemo"), Lines{"kept"});
    EXPECT_TRUE(ui.TabVisible("TabSheet8"));
}

TEST_F(FirmwareLogPageTest, RawDumpOfTheRingOnlyWhileRawDumpsAreOn) {
    Start(FirmwareDrive(ErrLog(0, 0), Ring(8192, 0, {{1, "first"}})));
    form->ShowFWDebugMessage(1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    RawDumpEnabled = true;
    form->ShowFWDebugMessage(1);
    EXPECT_EQ(test::ReadAll(dir.File("ErrLog.raw")).size(), 8192u);
}

json LoaderDrive(const std::string& tag, std::uint32_t err_length, std::uint32_t uart_length) {
    Bytes flash(0x8000, 0);
    std::copy(tag.begin(), tag.end(), flash.begin());
    PutLe32(flash, 20, 0x1000);
    PutLe32(flash, 24, err_length);
    PutLe32(flash, 28, 0x4000);
    PutLe32(flash, 32, uart_length);
    const auto err_log = ErrLog(100, 1);
    std::copy(err_log.begin(), err_log.end(), flash.begin() + 0x1000);
    const auto ring = Ring(8192, 100, {{5, "saved"}});
    std::copy(ring.begin(), ring.end(), flash.begin() + 0x4000);
    return {{"bus", "ide"}, {"vendor", true}, {"mode", "loader"}, {"spi_flash", Hex(flash)}};
}

TEST_F(FirmwareLogPageTest, LoaderFormReadsTheSerialFlashCopiesAtTheirFixedSizes) {
    Start(LoaderDrive("VTK38V00-003", 100, 0x1FF0));
    WriteGdp();
    ui.SetActivePage("TabSheet4");
    form->Click("ReadFwDebugMsgGDP");

    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(ui.TabVisible("TabSheet8"));
    EXPECT_EQ(ui.ActivePage(), "TabSheet4");
    EXPECT_EQ(SystemInfo.FlashConfig, 0x2813);
    EXPECT_EQ(SystemInfo.ChannelCount, 4);
    EXPECT_EQ(SystemInfo.BankCount, 4);
    EXPECT_EQ(SystemInfo.SectorsPerPage, 32);

    const auto reads = Commands(kReadSpiFlashCode);
    ASSERT_EQ(reads.size(), 3u);
    // Address, length and sectors: the header's lengths go out unchanged.
    EXPECT_EQ(Be32(reads[0].block, 3), 0u);
    EXPECT_EQ(Be32(reads[0].block, 7), 512u);
    EXPECT_EQ(reads[0].sectors, 1u);
    EXPECT_EQ(Be32(reads[1].block, 3), 0x1000u);
    EXPECT_EQ(Be32(reads[1].block, 7), 100u);
    EXPECT_EQ(reads[1].sectors, 4u);
    EXPECT_EQ(Be32(reads[2].block, 3), 0x4000u);
    EXPECT_EQ(Be32(reads[2].block, 7), 0x1FF0u);
    EXPECT_EQ(reads[2].sectors, 16u);

    const auto lines = ui.Lines("UartLogMemo");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 17), "[0005, 0000]saved");
}

TEST_F(FirmwareLogPageTest, LoaderFormDumpsEachCopyWhileRawDumpsAreOn) {
    Start(LoaderDrive("VTK38V00-001", 2048, 8192));
    WriteGdp();
    RawDumpEnabled = true;
    form->Click("ReadFwDebugMsgGDP");
    EXPECT_EQ(test::ReadAll(dir.File("SPI.raw")).size(), 512u);
    EXPECT_EQ(test::ReadAll(dir.File("SPI_LogError.raw")).size(), 2048u);
    EXPECT_EQ(test::ReadAll(dir.File("SPI_UartLog.raw")).size(), 8192u);
    EXPECT_EQ(test::ReadAll(dir.File("ErrLog.raw")).size(), 8192u);
}

TEST_F(FirmwareLogPageTest, UnknownImageTagStopsBeforeTheLogs) {
    Start(LoaderDrive("VTK38V00-004", 2048, 8192));
    WriteGdp();
    form->Click("ReadFwDebugMsgGDP");
    EXPECT_EQ(ui.Messages(), Lines{"SPI TAG is error"});
    EXPECT_EQ(Commands(kReadSpiFlashCode).size(), 1u);
    EXPECT_TRUE(ui.Lines("UartLogMemo").empty());
    EXPECT_TRUE(ui.TabVisible("TabSheet8"));
}

TEST_F(FirmwareLogPageTest, FailedCodeLoadCountsAsABadTag) {
    json drive = LoaderDrive("VTK38V00-001", 2048, 8192);
    drive["faults"] = json::array({{{"op", "vendor:87"}, {"effect", "fail"}}});
    Start(drive);
    WriteGdp();
    form->Click("ReadFwDebugMsgGDP");
    EXPECT_EQ(ui.Messages(), Lines{"SPI TAG is error"});
    EXPECT_TRUE(Commands(kReadSpiFlashCode).empty());
}

TEST_F(FirmwareLogPageTest, FailedHeaderReadIsNotTakenFromWhatTheBufferHeld) {
    // An earlier read left an accepted tag at the start of the shared buffer.
    json drive = LoaderDrive("VTK38V00-001", 2048, 8192);
    drive["faults"] = json::array({{{"op", "vendor:0B"}, {"effect", "fail"}}});
    Start(drive);
    WriteGdp();
    const std::string tag = "VTK38V00-002";
    std::copy(tag.begin(), tag.end(), TransferBuffer.begin());
    form->Click("ReadFwDebugMsgGDP");
    EXPECT_EQ(ui.Messages(), Lines{"SPI TAG is error"});
    EXPECT_EQ(Commands(kReadSpiFlashCode).size(), 1u);
    EXPECT_TRUE(ui.Lines("UartLogMemo").empty());
}

TEST_F(FirmwareLogPageTest, ButtonWithoutCodeImageNamesTheMissingFile) {
    Start(LoaderDrive("VTK38V00-001", 2048, 8192));
    form->Click("ReadFwDebugMsgGDP");
    EXPECT_EQ(ui.Messages(), Lines{"<WARNING> Can't find file : " + dir.path() + "/GDP.bin"});
    EXPECT_TRUE(bench->VendorLog(0).empty());
}

TEST_F(FirmwareLogPageTest, SaveButtonsWriteTheirMemos) {
    HeadlessPresentation saving(HeadlessOptions{dir.path(), ""});
    FormEnvironment environment;
    environment.program_dir = dir.path();
    TMainForm saver(saving, environment);
    saving.SetLines("UartLogMemo", {"[0001, 0000]a", "b"});
    saver.Click("UartLogSaveBtn");
    saver.Click("DbgErrLogSaveBtn");
    const auto uart = test::ReadAll(dir.File("UartLog.txt"));
    EXPECT_EQ(std::string(uart.begin(), uart.end()), "[0001, 0000]a\r\nb\r\n");
    EXPECT_TRUE(test::ReadAll(dir.File("DbgErrLog.txt")).empty());
    EXPECT_TRUE(std::filesystem::exists(dir.File("DbgErrLog.txt")));
}

// The demo bench through the whole window: the firmware drive's refresh runs the view, and the
// loader drive's refresh in special mode loads the code image and reads the flash copies.
TEST_F(FirmwareLogPageTest, DemoBenchShowsBothFormsAndTheSmartPage) {
    StartInstalled(sim::MakeDemoBench());
    WriteGdp();
    form->FormShow();
    const auto rows = ui.Rows("ListView1");
    int firmware_row = -1;
    int loader_row = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].size() > 2 && rows[i][2] == "VT38A1B2C3D4") firmware_row = static_cast<int>(i);
        if (rows[i].size() > 1 && rows[i][1].find("Loader") != std::string::npos) {
            loader_row = static_cast<int>(i);
        }
    }
    ASSERT_GE(firmware_row, 0);
    ASSERT_GE(loader_row, 0);

    form->ClickDeviceRow(firmware_row);
    EXPECT_TRUE(ui.TabVisible("TabSheet8"));
    const auto log = ui.Lines("UartLogMemo");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1].substr(0, 1), "[");

    form->Click("GetSmartInfoBn");
    bool hours = false;
    for (int row = 1; row < 30; ++row) {
        if (ui.Cell("StringGrid1", row, 0) == "09")
            hours = ui.Cell("StringGrid1", row, 1) == "Power-on hours";
    }
    EXPECT_TRUE(hours);
    EXPECT_TRUE(ui.Enabled("SaveSmartInfoBn"));

    form->SpecialTipShapeMouseDown(MouseButton::Left, true);
    form->ClickDeviceRow(loader_row);
    EXPECT_EQ(ui.ActivePage(), "TabSheet8");
    const auto loader_log = ui.Lines("UartLogMemo");
    ASSERT_GE(loader_log.size(), 2u);
    EXPECT_EQ(loader_log[1].substr(0, 1), "[");
    for (const auto& message : ui.Messages()) EXPECT_NE(message, "SPI TAG is error");
}

}  // namespace
}  // namespace vt
