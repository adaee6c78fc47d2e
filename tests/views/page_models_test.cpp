// The models a refresh leaves behind against the texts the window shows from them: every number
// of a model must be the one its page shows, on every form of every page.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "report/erase_count_texts.h"
#include "report/identify_texts.h"
#include "report/page_lines.h"
#include "tests/support/form_on_bench.h"

namespace vt {
namespace {

// The grid against the memo: the same rows, every cell the same number or X, brackets where the
// grid says bad.
void ExpectGridIsTheMemo(const EraseCountPage& page, const std::vector<std::string>& memo) {
    const auto& grid = page.grid;
    ASSERT_EQ(grid.blocks.size() + 1, memo.size());
    ASSERT_EQ(grid.counts.size(), grid.blocks.size() * grid.columns());
    ASSERT_EQ(grid.bad.size(), grid.counts.size());
    for (std::size_t row = 0; row < grid.blocks.size(); ++row) {
        const auto cells = EraseCountCells(memo[row + 1]);
        ASSERT_EQ(cells.size(), grid.columns() + 1) << row;
        EXPECT_EQ(std::stoul(cells[0]), grid.blocks[row]) << row;
        for (std::size_t j = 0; j < grid.columns(); ++j) {
            std::string cell = cells[j + 1];
            const bool bracketed = !cell.empty() && cell.front() == '[';
            EXPECT_EQ(bracketed, grid.BadAt(row, j)) << row << "/" << j;
            if (bracketed) cell = cell.substr(1, cell.size() - 2);
            if (cell == "X") {
                EXPECT_EQ(grid.At(row, j), kNoEraseCount) << row << "/" << j;
            } else {
                EXPECT_EQ(std::stoul(cell), grid.At(row, j)) << row << "/" << j;
            }
        }
    }
}

TEST(EraseCountGrid, HoldsEveryFormsCells) {
    PerTableCounts counts;
    counts.channels = 2;
    counts.ces = 3;  // not a multiple of the dies: the columns follow the lines, not the header
    counts.dies = 2;
    counts.blocks = 2;
    for (std::uint16_t v = 0; v < 12; ++v) counts.entries.push_back(v == 4 ? 0xFFFF : v * 100);
    BadBlockMarks marks;
    marks.Mark(1, 0, 1);
    const auto per_table = PerTableEraseCountPage(counts, &marks);
    ExpectGridIsTheMemo(per_table, EraseCountLines(per_table));

    const std::uint32_t list[] = {7, 0xFFFFFFFF, 123456};
    const auto k12 = K12EraseCountPage(2, 2, list);
    ExpectGridIsTheMemo(k12, EraseCountLines(k12));
    EXPECT_EQ(k12.grid.At(2, 3), 123456u);

    const auto k14 = K14EraseCountPage(1, 2, {{5, 0xFFFF}, {6}}, true);
    ExpectGridIsTheMemo(k14, EraseCountLines(k14));
    EXPECT_EQ(k14.grid.blocks, (std::vector<std::uint32_t>{0, 1, 0}));
}

TEST(SataIdentity, ModesAndCapacityFromTheWords) {
    std::array<std::uint8_t, 512> identify{};
    const auto word = [&](std::size_t w, std::uint16_t v) {
        identify[2 * w] = v & 0xFF;
        identify[2 * w + 1] = v >> 8;
    };
    word(63, 0x0207);  // MW DMA 0-2 supported, mode 1 selected
    word(53, 0x0004);  // word 88 valid
    word(88, 0x203F);  // UDMA 0-5 supported, mode 5 selected
    word(86, 0x0400);  // 48-bit addressing
    word(100, 0x5678);
    word(101, 0x1234);
    word(102, 0x0001);
    word(82, 0x0003);
    word(85, 0x0001);
    word(108, 0x5001);
    word(111, 0xBEEF);
    const auto id = DecodeIdentify(identify);
    EXPECT_EQ(id.MultiwordDmaSupportedMode(), 2);
    EXPECT_EQ(id.multiword_dma_selected, 1);
    EXPECT_EQ(id.UltraDmaSupportedMode(), 5);
    EXPECT_EQ(id.ultra_dma_selected, 5);
    EXPECT_EQ(id.capacity_sectors, 0x000112345678u);
    EXPECT_TRUE(id.smart_supported && id.smart_enabled && id.security_supported);
    EXPECT_FALSE(id.security_enabled);
    EXPECT_EQ(id.wwn, 0x500100000000BEEFu);
    const auto texts = IdentifyPageTexts(id);
    EXPECT_EQ(texts.EditOf("TotalSectorEdit"),
              "Total number of user addressable sectors: (LBA mode) 4600387192\n");
    EXPECT_EQ(texts.EditOf("WWNEdit"), "World Wide Name: 500100000000BEEF");
    // A support pattern that is not "N and below" names no mode and shows no text.
    word(88, 0x0005);
    const auto gaps = DecodeIdentify(identify);
    EXPECT_EQ(gaps.UltraDmaSupportedMode(), -1);
    EXPECT_EQ(gaps.ultra_dma_selected, -1);
    EXPECT_EQ(IdentifyPageTexts(gaps).EditOf("UltraDMAModeEdit"), "");
}

class PageModels : public test::FormOnBench<> {};

TEST_F(PageModels, ARefreshLeavesTheModelsItsPagesShow) {
    ASSERT_TRUE(Install(nlohmann::json::parse(R"({
        "bus": "ide", "model": "K38", "build": "3", "revision": "43", "features": [4, 5],
        "bad_blocks": {
            "factory": [{"channel": 0, "ce": 0, "block": 5}],
            "later": [{"channel": 0, "ce": 0, "unit": 20, "type": "ecc_over", "remap_to": 900},
                      {"channel": 1, "ce": 0, "unit": 21, "type": "prog_fail"}]}})")));
    auto& form = Select();
    const auto& models = form.models();
    ASSERT_TRUE(models.device_info && models.device_info->sata);
    // The model keeps the drive's bytes; the edit trims them.
    const std::string& serial = models.device_info->sata->serial;
    EXPECT_EQ(Text("SNEdit"),
              "Serial Number: " + serial.substr(0, serial.find_last_not_of(' ') + 1));
    ASSERT_TRUE(models.ssd_info);
    EXPECT_EQ(models.ssd_info->info.ChannelCount, SystemInfo.ChannelCount);
    ASSERT_TRUE(models.erase_count);
    ExpectGridIsTheMemo(*models.erase_count, Lines("EraseMemo"));
    ASSERT_TRUE(models.config_dump);
    EXPECT_EQ(models.config_dump->bytes.size(), Lines("DpdFTLMemo").size() * 16);

    // One record per unit, block and plane line of the detail, in the text's order.
    ASSERT_TRUE(models.bad_blocks);
    const auto& entries = models.bad_blocks->detail.entries;
    std::vector<std::string> lines;
    for (const auto& line : Lines("DetalBadInfoMemo")) {
        if (line.rfind("CH=", 0) == 0 || line.rfind("<EarlyBad>", 0) == 0) lines.push_back(line);
    }
    ASSERT_EQ(entries.size(), lines.size());
    bool remapped = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        EXPECT_NE(lines[i].find("CH=" + std::to_string(e.channel)), std::string::npos) << lines[i];
        if (e.kind == BadBlockEntry::Kind::BadUnit) {
            EXPECT_NE(lines[i].find("Type=" + std::to_string(e.error_type)), std::string::npos)
                << lines[i];
            remapped = remapped || e.remapped;
        }
    }
    EXPECT_TRUE(remapped);

    // S.M.A.R.T. is read on its own button.
    EXPECT_FALSE(models.smart);
    form.GetSmartInfoBnClick();
    ASSERT_TRUE(form.models().smart);
    // A new refresh starts from no models.
    form.UpdateInfo(false);
    EXPECT_FALSE(form.models().smart);
    EXPECT_FALSE(form.models().erase_count);
}

// vtutil prints each page from its model; what it prints is what the window shows: the edits one
// line each, the memos line for line.
TEST_F(PageModels, VtutilsTextOfEveryPageIsTheWindows) {
    ASSERT_TRUE(Install(nlohmann::json::parse(R"({
        "bus": "ide", "model": "K38", "build": "3", "revision": "43", "uart_log": true,
        "bad_blocks": {"later": [{"channel": 1, "ce": 0, "unit": 21, "type": "prog_fail"}]}})")));
    auto& form = Select();
    const auto& models = form.models();
    ASSERT_TRUE(models.ssd_info && models.bad_blocks && models.erase_count && models.config_dump &&
                models.firmware_log);
    const auto edits = [&](std::initializer_list<const char*> names) {
        std::vector<std::string> lines;
        for (const char* name : names) {
            if (auto line = EditLine(Text(name)); !line.empty()) lines.push_back(line);
        }
        return lines;
    };
    auto ssd = edits({"FlashmodelEdit", "ChannelEdit", "CapacityEdit", "DriverEdit", "ResPerEdit",
                      "EccReadEdit", "EccCopyEdit", "WearLevelingEdit", "BankMapEdit", "FwEdit",
                      "SupportEdit1", "SupportEdit2", "FlashInfoEdit", "FlashTypeEdit",
                      "BlockCeEdit", "PageBlockEdit", "CeEdit"});
    const auto memo = Lines("SSDInfoMemo");
    ssd.insert(ssd.end(), memo.begin(), memo.end());
    EXPECT_EQ(SsdInfoLines(*models.ssd_info), ssd);

    auto erase = Lines("EraseMemo");
    const auto summary = edits({"AeraseEdit", "MeraseEdit"});
    ASSERT_EQ(summary.size(), 2u);
    erase.insert(erase.end(), summary.begin(), summary.end());
    EXPECT_EQ(EraseCountPageLines(*models.erase_count), erase);

    auto bad = Lines("BadBlockMemo");
    bad.emplace_back();
    const auto detail = Lines("DetalBadInfoMemo");
    bad.insert(bad.end(), detail.begin(), detail.end());
    EXPECT_EQ(BadBlockLines(*models.bad_blocks), bad);

    EXPECT_EQ(ConfigDumpLines(*models.config_dump), Lines("DpdFTLMemo"));
    ASSERT_FALSE(Lines("UartLogMemo").empty());
    EXPECT_EQ(FirmwareLogLines(*models.firmware_log), Lines("UartLogMemo"));
    ASSERT_TRUE(models.device_info && models.device_info->sata);
    EXPECT_EQ(
        DeviceInfoLines(*models.device_info, {}),
        edits({"ModelNameEdit", "SNEdit", "FwVersionEdit", "DiskHeadEdit", "ChsEdit",
               "TotalSectorEdit", "MultiwordDMAmodeEdit", "MultiwordDMAEdit", "UltraDMAModeEdit",
               "UltraDMAEdit", "SMARTfeatureEdit", "SecurityModeEdit", "WWNEdit"}));
}

TEST(UsbIdentity, NumbersAndTextsFromTheConfiguration) {
    std::vector<std::uint8_t> config(512);
    config[100] = 0x34;  // VID, low byte first
    config[101] = 0x12;
    config[102] = 0xCD;
    config[103] = 0xAB;
    const std::string vendor = "Vantrel";
    std::copy(vendor.begin(), vendor.end(), config.begin() + 118);
    config[242] = 2 + 2 * 3;  // a string descriptor of three UTF-16 units
    config[244] = 'S';
    config[246] = 0xB0;
    config[248] = '1';
    UsbIdentity identity;
    identity.inquiry_read = true;
    identity.capacity_mb = 2048;
    identity.capacity_bytes = 2048ull << 20;
    DecodeUsbConfig(config, identity);
    EXPECT_EQ(identity.vendor_id, 0x1234);
    EXPECT_EQ(identity.product_id, 0xABCD);
    EXPECT_EQ(identity.vendor_name, vendor);
    EXPECT_EQ(identity.serial,
              "S\xB0"
              "1");
    const auto texts = UsbIdentityTexts(identity);
    EXPECT_EQ(texts.EditOf("VIDEdit"), "1234");
    EXPECT_EQ(texts.EditOf("PIDEdit"), "ABCD");
    EXPECT_EQ(texts.EditOf("SNUSBEdit"), identity.serial);
    EXPECT_EQ(texts.EditOf("CapEdit"), "2048 MB");
    EXPECT_EQ(texts.EditOf("TotalLBAEdit"), "4194304");
    // Without the INQUIRY nothing of the capacity is shown.
    identity.inquiry_read = false;
    EXPECT_EQ(UsbIdentityTexts(identity).EditOf("CapEdit"), "");
}

}  // namespace
}  // namespace vt
