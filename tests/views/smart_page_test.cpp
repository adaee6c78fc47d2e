// The S.M.A.R.T. page on the main form, against drives of the bench.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "platform/backend.h"
#include "report/smart_texts.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "vendor/carrier.h"
#include "vendor/system_info.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt {
namespace {

using nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& bytes) {
    std::string text;
    char pair[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

struct Attribute {
    std::uint8_t id;
    std::uint8_t threshold;
    Bytes raw;  // least significant first, up to 6 bytes
};

Bytes SmartData(const std::vector<Attribute>& attributes, std::uint16_t revision = 0x0010) {
    Bytes sector(kSmartSectorSize, 0);
    sector[0] = static_cast<std::uint8_t>(revision);
    sector[1] = static_cast<std::uint8_t>(revision >> 8);
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const std::size_t base = 2 + i * kSmartEntrySize;
        sector[base] = attributes[i].id;
        sector[base + 1] = 0x32;
        sector[base + 3] = 100;
        sector[base + 4] = 99;
        for (std::size_t b = 0; b < attributes[i].raw.size(); ++b) {
            sector[base + 5 + b] = attributes[i].raw[b];
        }
    }
    return sector;
}

Bytes SmartThresholds(const std::vector<Attribute>& attributes) {
    Bytes sector(kSmartSectorSize, 0);
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        sector[2 + i * kSmartEntrySize + 1] = attributes[i].threshold;
    }
    return sector;
}

json SataDrive(const std::vector<Attribute>& attributes) {
    return {{"bus", "ide"},
            {"vendor", true},
            {"smart_data", Hex(SmartData(attributes))},
            {"smart_thresholds", Hex(SmartThresholds(attributes))}};
}

const std::vector<Attribute> kThree = {
    {0x09, 0x00, {0xE8, 0x03}},
    {0x01, 0x06, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},
    {0xC2, 0x00, {0x26, 0x00, 0x15, 0x00, 0x3F, 0x00}},
};

// The drives of a bench as device 0, 1, ... with the main form over a headless window.
class SmartPageTest : public ::testing::Test {
  protected:
    void Start(const json& drives, const std::string& settings = "") {
        if (!settings.empty()) std::ofstream(dir.File("VTUtility.ini")) << settings;
        std::string error;
        auto backend = sim::MakeBench({{"drives", drives}}, error);
        ASSERT_TRUE(backend) << error;
        bench = &sim::BenchOf(*backend);
        previous = platform::Install(std::move(backend));
        CarrierMode = 2;
        for (std::size_t i = 0; i < drives.size(); ++i) {
            DeviceEntry& entry = EntryOf(static_cast<unsigned>(i));
            entry = DeviceEntry{};
            entry.DevicePath = bench->PathOf(i);
            const bool direct = drives[i].value("bridge", "") == "older";
            entry.DirectVendorCdb = direct ? 1 : 0;
            entry.AtaPassThrough = direct ? 0 : 1;
            VA_UnlockVendorCmd(static_cast<unsigned>(i));
        }
        CurrentDevice = 0;
        SystemInfo = SystemInfoRecord{};
        FormEnvironment environment;
        environment.program_dir = dir.path();
        form = std::make_unique<TMainForm>(ui, environment);
    }
    void TearDown() override {
        form.reset();
        if (previous) platform::Install(std::move(previous));
        for (auto& entry : DeviceTable) entry = DeviceEntry{};
        SystemInfo = SystemInfoRecord{};
    }
    std::vector<std::string> Row(int row) {
        std::vector<std::string> cells;
        for (int column = 0; column < kSmartGridColumns; ++column) {
            cells.push_back(ui.Cell("StringGrid1", row, column));
        }
        return cells;
    }

    test::ScopedTempDir dir;
    HeadlessPresentation ui{HeadlessOptions{dir.path(), ""}};
    sim::Bench* bench = nullptr;
    std::unique_ptr<platform::Backend> previous;
    std::unique_ptr<TMainForm> form;
};

TEST_F(SmartPageTest, ReadFillsGridMemoAndCaptionAndEnablesSave) {
    Start(json::array({SataDrive(kThree)}));
    form->Click("GetSmartInfoBn");

    EXPECT_EQ(Row(0), (std::vector<std::string>{"ID", "S.M.A.R.T. Attribute", "Flags", "Value",
                                                "Worst", "Threshold", "Raw Value"}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"09", "Power-on Hours Count", "0032", "64", "63",
                                                "00", "00 00 00 00 03 E8"}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"01", "Read Error Rate", "0032", "64", "63", "06",
                                                "06 05 04 03 02 01"}));
    EXPECT_EQ(Row(3)[0], "C2");
    EXPECT_EQ(Row(4)[0], "");
    EXPECT_EQ(ui.Lines("SMARTMemo"),
              (std::vector<std::string>{"Power on hour=1000",
                                        "Temperature: Current=38  Min=21  Max=63"}));
    EXPECT_EQ(ui.Caption("GroupBox4"), "\nSMART (v16.0) information report :\n");
    EXPECT_TRUE(ui.Enabled("SaveSmartInfoBn"));
    // Without EnResetSmart the reset stays out of reach.
    EXPECT_FALSE(ui.Enabled("ResetSmartInfoBn"));
    EXPECT_FALSE(ui.Visible("ResetSmartInfoBn"));
}

TEST_F(SmartPageTest, TableCodeOfTheFirmwareSelectsTheVariantNames) {
    Start(json::array({SataDrive({{0x0C, 0, {}}, {0x01, 0, {}}})}));
    SystemInfo.FwInfo[0x30] = '1';
    SystemInfo.FwInfo[0x31] = '1';
    SystemInfo.FwInfo[0x32] = '0';
    SystemInfo.FwInfo[0x33] = '0';
    form->Click("GetSmartInfoBn");
    EXPECT_EQ(Row(1)[1], "Power Cycle Count");
    EXPECT_EQ(Row(2)[1], "Raw Read Error Rate");
}

TEST_F(SmartPageTest, BridgeAnswersWithoutThresholds) {
    json drive = {{"bus", "usb"},
                  {"bridge", "older"},
                  {"vendor", true},
                  {"smart_usb", Hex(SmartData(kThree))}};
    Start(json::array({drive}));
    form->Click("GetSmartInfoBn");
    EXPECT_EQ(Row(1)[0], "09");
    EXPECT_EQ(Row(2)[5], "00");
    EXPECT_EQ(Row(2)[6], "06 05 04 03 02 01");
}

TEST_F(SmartPageTest, ReadingAnotherDriveLeavesNoStaleRow) {
    Start(json::array({SataDrive(kThree), SataDrive({{0x0C, 0, {0x02}}})}));
    form->Click("GetSmartInfoBn");
    ASSERT_EQ(Row(3)[0], "C2");
    CurrentDevice = 1;
    form->Click("GetSmartInfoBn");
    EXPECT_EQ(Row(1)[0], "0C");
    for (int row = 2; row < kSmartGridRows; ++row) {
        EXPECT_EQ(Row(row), std::vector<std::string>(kSmartGridColumns, "")) << row;
    }
    EXPECT_EQ(ui.Lines("SMARTMemo"), std::vector<std::string>{"Power on count=2"});
}

TEST_F(SmartPageTest, FailedReadChangesNothingButStillEnablesTheButtons) {
    json drive = SataDrive(kThree);
    drive["faults"] = json::array({{{"op", "ata:B0"}, {"effect", "fail"}}});
    Start(json::array({drive}), "[Setting]\nEnResetSmart=1\n");
    ui.SetCell("StringGrid1", 1, 0, "old");
    ui.SetLines("SMARTMemo", {"old"});
    form->Click("GetSmartInfoBn");
    EXPECT_EQ(Row(0)[0], "");
    EXPECT_EQ(Row(1)[0], "old");
    EXPECT_EQ(ui.Lines("SMARTMemo"), std::vector<std::string>{"old"});
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(ui.Enabled("SaveSmartInfoBn"));
    EXPECT_TRUE(ui.Enabled("ResetSmartInfoBn"));
    EXPECT_TRUE(ui.Visible("ResetSmartInfoBn"));
}

TEST_F(SmartPageTest, ReportHoldsTheTwentyNineRowsTheGridHas) {
    std::vector<Attribute> thirty(kSmartEntryCount, {0xA9, 0, {0x01}});
    thirty.back() = {0xC2, 0, {}};
    Start(json::array({SataDrive(thirty)}));
    form->Click("GetSmartInfoBn");
    form->Click("SaveSmartInfoBn");

    std::ifstream file(dir.File("smart.txt"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const auto lines = SplitAtCrLf(text);
    ASSERT_EQ(lines.size(), 3u + 29u + 1u);  // header block, rows, and the end of the last line
    EXPECT_EQ(lines[1],
              "ID  S.M.A.R.T Attribute           Flags   Value  Worst  Threshold  Raw Value");
    EXPECT_EQ(lines[3].substr(0, 20), "A9  Bad Block Count ");
    EXPECT_EQ(lines[31].substr(0, 2), "A9");
    EXPECT_EQ(text.find("C2  "), std::string::npos);
    // The memo counts every entry, the thirtieth included.
    EXPECT_EQ(ui.Lines("SMARTMemo").back(), "Temperature: Current=0  Min=0  Max=0");
}

json CountingDrive(json faults = json::array()) {
    return {{"bus", "ide"},
            {"model", "K38"},
            {"smart", {{"power_cycles", 1402u}, {"power_loss", 23u}, {"power_on_hours", 8123u}}},
            {"faults", std::move(faults)}};
}

std::string RawOf(Presentation& ui, const std::string& id) {
    for (int row = 1; row < kSmartGridRows; ++row) {
        if (ui.Cell("StringGrid1", row, 0) == id) return ui.Cell("StringGrid1", row, 6);
    }
    return "missing";
}

TEST_F(SmartPageTest, ResetOfAllThreeCountersShowsTheNewValues) {
    Start(json::array({CountingDrive()}), "[Setting]\nEnResetSmart=1\n");
    form->Click("GetSmartInfoBn");
    ASSERT_EQ(RawOf(ui, "0C"), "00 00 00 00 05 7A");
    form->Click("ResetSmartInfoBn");
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(RawOf(ui, "0C"), "00 00 00 00 00 00");
    EXPECT_EQ(RawOf(ui, "C0"), "00 00 00 00 00 00");
    EXPECT_EQ(RawOf(ui, "09"), "00 00 00 00 00 00");
}

TEST_F(SmartPageTest, PartialResetNamesTheFailedCounterAndSkipsTheReRead) {
    // The second reset (the power loss counter) fails.
    Start(json::array({CountingDrive(json::array(
              {{{"op", "vendor:05"}, {"skip", 1u}, {"count", 1u}, {"effect", "fail"}}}))}),
          "[Setting]\nEnResetSmart=1\n");
    form->Click("GetSmartInfoBn");
    form->Click("ResetSmartInfoBn");
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Failed in reseting SMART(PowerLossCount)"});
    EXPECT_EQ(RawOf(ui, "0C"), "00 00 00 00 05 7A");

    // A fresh read shows that the other two counters were reset all the same.
    form->Click("GetSmartInfoBn");
    EXPECT_EQ(RawOf(ui, "0C"), "00 00 00 00 00 00");
    EXPECT_EQ(RawOf(ui, "C0"), "00 00 00 00 00 17");
}

TEST_F(SmartPageTest, ResetOnABridgeFailsForEveryCounter) {
    json drive = {{"bus", "usb"}, {"bridge", "older"}, {"vendor", true}};
    Start(json::array({drive}), "[Setting]\nEnResetSmart=1\n");
    form->Click("ResetSmartInfoBn");
    EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Failed in reseting SMART(PowerCycleCount)",
                                                       "Failed in reseting SMART(PowerLossCount)",
                                                       "Failed in reseting SMART(LifeTimestamp)"}));
}

}  // namespace
}  // namespace vt
