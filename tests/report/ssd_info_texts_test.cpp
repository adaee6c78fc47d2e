#include <gtest/gtest.h>

#include <cstring>

#include "report/ssd_info_texts.h"

namespace vt {
namespace {

SystemInfoRecord Geometry(std::uint16_t blocks, std::uint16_t pages, std::uint8_t sectors,
                          std::uint8_t ces) {
    SystemInfoRecord info;
    info.BlocksPerCe = blocks;
    info.PagesPerBlock = pages;
    info.SectorsPerPage = sectors;
    info.CeCount = ces;
    return info;
}

void SetModel(SystemInfoRecord& info, const char* model) {
    std::memcpy(&info.FwInfo[0x24], model, 3);
}

TEST(SsdInfoView, GeometryTextsInBothNumberForms) {
    auto info = Geometry(4096, 256, 16, 4);  // 8192 MiB per CE
    EXPECT_EQ(BlocksPerCeText(info), "Blocks/CE = 4096(8G)      ");
    EXPECT_EQ(BlocksPerFlashText(info), "Blocks/Flash = 16384(32G)\n");
    info = Geometry(1024, 64, 4, 1);  // 128 MiB
    EXPECT_EQ(BlocksPerCeText(info), "Blocks/CE = 1024(0.1G)    ");
    EXPECT_EQ(BlocksPerFlashText(info), "Blocks/Flash = 1024(0.1G)\n");
    info = Geometry(2048, 128, 8, 1);  // exactly 1024 MiB takes the integer form
    EXPECT_EQ(BlocksPerCeText(info), "Blocks/CE = 2048(1G)      ");
    info = Geometry(0, 0, 0, 0);  // undecodable geometry
    EXPECT_EQ(BlocksPerCeText(info), "Blocks/CE = 0(0.0G)    ");
}

TEST(SsdInfoView, FirmwareTextJoinsRunsWithCommas) {
    std::array<std::uint8_t, 64> fw{};
    std::memcpy(fw.data(),
                "ABC\0\0"
                "12",
                7);
    EXPECT_EQ(FirmwareIdentText(fw), "ABC,12");
    fw = {};
    fw[1] = 'X';  // a leading gap counts too
    EXPECT_EQ(FirmwareIdentText(fw), ",X");
    EXPECT_EQ(FirmwareIdentText(std::array<std::uint8_t, 64>{}), "");
}

TEST(SsdInfoView, ThresholdSlotFollowsTheEccFamily) {
    SystemInfoRecord info;
    info.EccReadThreshold = {16, 24, 40};
    info.EccCopyThreshold = {10, 20, 30};
    for (const std::uint8_t mode : {0, 3}) {
        info.EccMode = mode;
        const auto page = SsdInfoPageTexts(info, 0);
        EXPECT_EQ(page.EditOf("EccReadEdit"), "ECC read error threshold : 40 bit(s)\r\n");
        EXPECT_EQ(page.EditOf("EccCopyEdit"), "ECC error copy threshold : 30 bit(s)\r\n");
    }
    info.EccMode = 2;
    EXPECT_EQ(SsdInfoPageTexts(info, 0).EditOf("EccReadEdit"),
              "ECC read error threshold : 24 bit(s)\r\n");
}

TEST(SsdInfoView, ControlTexts) {
    SystemInfoRecord info;
    info.FlashConfig = 0x2800;
    std::memcpy(info.FlashModel.data(), "TC58TEG6", 8);
    info.ChannelCount = 4;
    info.BankCount = 2;
    info.BankMap = {3, 12, 0, 0, 0, 0, 0, 0};
    info.EccMode = 1;
    info.IoDriveCurrent = 3;
    info.DefectPercent10 = 20;
    info.ReservedPercent10 = 75;
    info.WearLevelFreq = 8;
    info.FlashCopyFound = true;
    info.FeatureFlags[4] = 1;
    info.SupportBits = 0x41;
    info.PagesPerBlock = 256;
    info.SectorsPerPage = 32;
    info.CeCount = 2;
    info.DiesPerCe = 1;
    info.Tmc = {1, 2, 3, 4, 5, 6, 255};
    info.DriverSetting = 7;
    SetModel(info, "K38");
    auto page = SsdInfoPageTexts(info, 122104);
    EXPECT_EQ(page.EditOf("FlashmodelEdit"), "Flash model : TC58TEG6 (Toshiba)\r\n");
    EXPECT_EQ(page.EditOf("ChannelEdit"), "Channel number : 4      Total bank : 2");
    EXPECT_EQ(page.EditOf("CapacityEdit"), "Capacity : 119.2 GBytes     ECC mode : BCH 16\r\n");
    EXPECT_EQ(page.EditOf("DriverEdit"), "IO drive current : 8 mA\r\n");
    EXPECT_EQ(page.EditOf("ResPerEdit"),
              "Defect block percentage :  2.0%, Reserved block percentage :  7.5%\r\n");
    EXPECT_EQ(page.EditOf("WearLevelingEdit"), "Wearleveling frequency : 8\r\n");
    EXPECT_EQ(page.EditOf("BankMapEdit"), "Bank map : 03 12 ");
    EXPECT_EQ(page.EditOf("SupportEdit1"), "Support : (V)Scramble\r\n");
    EXPECT_EQ(page.EditOf("SupportEdit2"), "          (X)Remap\r\n(V)Trim ");
    EXPECT_EQ(page.EditOf("FlashInfoEdit"), "                  Flash Info (0x2800)\n");
    EXPECT_EQ(page.EditOf("FlashTypeEdit"), "Flash type : MLC\n");
    EXPECT_EQ(page.EditOf("PageBlockEdit"), "Pages/Block = 256         Bytes/Page = 16384\n");
    EXPECT_EQ(page.EditOf("CeEdit"), "# of CE : 2       # of Die : 1 \n");
    const auto memo = page.MemoOf("SSDInfoMemo");
    ASSERT_EQ(memo.size(), 15u);
    EXPECT_EQ(memo[6], "TMC6 = 255 (0xFF)");
    EXPECT_EQ(memo[7], "AsynTMC0 = 0 (0x0)");
    EXPECT_EQ(memo[14], "DriverSetting = 7");

    SetModel(info, "K12");
    EXPECT_EQ(SsdInfoPageTexts(info, 0).EditOf("SupportEdit2"),
              "          (X)Remap\r\n(V)Trim (V)LBA48 ");
}

TEST(SsdInfoView, BankMapWithoutBanksOrWithMoreThanItHolds) {
    SystemInfoRecord info;
    EXPECT_EQ(SsdInfoPageTexts(info, 0).EditOf("BankMapEdit"), "Bank map : ");
    info.BankCount = 12;
    info.BankMap = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(SsdInfoPageTexts(info, 0).EditOf("BankMapEdit"),
              "Bank map : 00 01 02 03 04 05 06 07 ");
}

TEST(SsdInfoView, CodesPastTheNameTablesGiveEmptyNames) {
    SystemInfoRecord info;
    info.FlashConfig = 0x9000;
    info.EccMode = 7;
    info.IoDriveCurrent = 9;
    info.FlashCopyFound = true;
    const auto page = SsdInfoPageTexts(info, 0);
    EXPECT_EQ(page.EditOf("FlashmodelEdit"), "Flash model :  ()\r\n");
    EXPECT_EQ(page.EditOf("CapacityEdit"), "Capacity :  0.0 GBytes     ECC mode : \r\n");
    EXPECT_EQ(page.EditOf("DriverEdit"), "IO drive current : \r\n");
}

TEST(SsdInfoView, WithoutAFlashCopyItsFieldsAreNotShown) {
    SystemInfoRecord info;
    info.FlashConfig = 0x2800;
    info.ChannelCount = 4;
    const auto page = SsdInfoPageTexts(info, 0);
    for (const auto& edit : page.edits) {
        EXPECT_NE(edit.control, "FlashmodelEdit");
        EXPECT_NE(edit.control, "DriverEdit");
        EXPECT_NE(edit.control, "ResPerEdit");
    }
    EXPECT_EQ(page.EditOf("ChannelEdit"), "Channel number : 4      Total bank : 0");
}

}  // namespace
}  // namespace vt
