#include "report/ssd_info_texts.h"

#include <algorithm>

#include "ctrl/flash_config.h"
#include "ctrl/read_system_info.h"
#include "pages/text_format.h"

namespace vt {
namespace {

std::uint32_t CeSizeMiB(const SystemInfoRecord& info) {
    return (std::uint32_t{info.BlocksPerCe} / 1024) * info.PagesPerBlock *
           (std::uint32_t{info.SectorsPerPage} / 2);
}

std::string NameText(std::string_view name) {
    return std::string(name);
}

}  // namespace

std::string FirmwareIdentText(std::span<const std::uint8_t> fw_info) {
    std::string text;
    bool skipped = false;
    for (const std::uint8_t byte : fw_info) {
        if (byte == 0) {
            skipped = true;
            continue;
        }
        if (skipped) text.push_back(',');
        text.push_back(static_cast<char>(byte));
        skipped = false;
    }
    return text;
}

std::string BlocksPerCeText(const SystemInfoRecord& info) {
    const std::uint32_t ce_size = CeSizeMiB(info);
    if (ce_size < 1024) {
        return Sprintf("Blocks/CE = %u(%2.1fG)    ", unsigned{info.BlocksPerCe}, ce_size / 1024.0);
    }
    return Sprintf("Blocks/CE = %u(%dG)      ", unsigned{info.BlocksPerCe},
                   static_cast<int>(ce_size / 1024));
}

std::string BlocksPerFlashText(const SystemInfoRecord& info) {
    const std::uint32_t flash_size = info.CeCount * CeSizeMiB(info);
    const std::uint32_t blocks = std::uint32_t{info.BlocksPerCe} * info.CeCount;
    if (flash_size < 1024) {
        return Sprintf("Blocks/Flash = %u(%2.1fG)\n", blocks, flash_size / 1024.0);
    }
    return Sprintf("Blocks/Flash = %lu(%dG)\n", static_cast<unsigned long>(blocks),
                   static_cast<int>(flash_size / 1024));
}

std::size_t EccThresholdSlot(std::uint8_t ecc_mode) {
    return ecc_mode == 1 ? 0 : ecc_mode == 2 ? 1 : 2;
}

PageTexts SsdInfoPageTexts(const SystemInfoRecord& info, std::uint64_t capacity_mb) {
    PageTexts page;
    const std::string model(info.FlashModel.data(),
                            std::find(info.FlashModel.begin(), info.FlashModel.end(), '\0'));
    // The flash model, the drive current and the percentages come from a flash copy only; with
    // none read they would state zeros as the drive's.
    if (info.FlashCopyFound) {
        page.Edit("FlashmodelEdit", Sprintf("Flash model : %s (%s)\r\n", model.c_str(),
                                            NameText(FlashVendorName(info.FlashConfig)).c_str()));
    }
    page.Edit("ChannelEdit", Sprintf("Channel number : %d      Total bank : %d", info.ChannelCount,
                                     info.BankCount));
    page.Edit("CapacityEdit",
              Sprintf("Capacity : %4.1f GBytes     ECC mode : %s\r\n", capacity_mb / 1024.0,
                      NameText(EccModeName(info.EccMode)).c_str()));
    if (info.FlashCopyFound) {
        page.Edit("DriverEdit", Sprintf("IO drive current : %s\r\n",
                                        NameText(IoDriveCurrentName(info.IoDriveCurrent)).c_str()));
        page.Edit(
            "ResPerEdit",
            Sprintf("Defect block percentage : %4.1f%%, Reserved block percentage : %4.1f%%\r\n",
                    info.DefectPercent10 * 0.1, info.ReservedPercent10 * 0.1));
    }
    const std::size_t slot = EccThresholdSlot(info.EccMode);
    page.Edit("EccReadEdit",
              Sprintf("ECC read error threshold : %d bit(s)\r\n", info.EccReadThreshold[slot]));
    page.Edit("EccCopyEdit",
              Sprintf("ECC error copy threshold : %d bit(s)\r\n", info.EccCopyThreshold[slot]));
    page.Edit("WearLevelingEdit", Sprintf("Wearleveling frequency : %d\r\n", info.WearLevelFreq));

    // BankMap holds eight entries; a larger bank count shows those eight.
    std::string bank_map = "Bank map : ";
    for (std::size_t bank = 0; bank < info.BankCount && bank < info.BankMap.size(); ++bank) {
        AppendF(bank_map, "%02d ", info.BankMap[bank]);
    }
    page.Edit("BankMapEdit", std::move(bank_map));
    page.Edit("FwEdit", "F/W version : " + FirmwareIdentText(info.FwInfo));

    const auto flag = [](bool set) { return set ? "(V)" : "(X)"; };
    page.Edit("SupportEdit1",
              std::string("Support : ") + flag(info.FeatureFlags[4]) + "Scramble\r\n");
    std::string support2 = std::string("          ") + flag(info.FeatureFlags[5]) + "Remap\r\n" +
                           flag(info.SupportBits & 0x01) + "Trim ";
    if (ControllerModel(info) == "K12")
        support2 += std::string(flag(info.SupportBits & 0x40)) + "LBA48 ";
    page.Edit("SupportEdit2", std::move(support2));

    page.Edit("FlashInfoEdit",
              Sprintf("                  Flash Info (0x%.4X)\n", unsigned{info.FlashConfig}));
    page.Edit("FlashTypeEdit",
              Sprintf("Flash type : %s\n", NameText(CellTypeName(info.FlashConfig)).c_str()));
    page.Edit("BlockCeEdit", BlocksPerCeText(info) + BlocksPerFlashText(info));
    page.Edit("PageBlockEdit", Sprintf("Pages/Block = %3d         Bytes/Page = %d\n",
                                       info.PagesPerBlock, info.SectorsPerPage * 512));
    page.Edit("CeEdit",
              Sprintf("# of CE : %d       # of Die : %d \n", info.CeCount, info.DiesPerCe));

    std::vector<std::string> memo;
    for (std::size_t i = 0; i < info.Tmc.size(); ++i) {
        memo.push_back(Sprintf("TMC%zu = %d (0x%X)", i, info.Tmc[i], unsigned{info.Tmc[i]}));
    }
    for (std::size_t i = 0; i < info.AsynTmc.size(); ++i) {
        memo.push_back(
            Sprintf("AsynTMC%zu = %d (0x%X)", i, info.AsynTmc[i], unsigned{info.AsynTmc[i]}));
    }
    memo.push_back(Sprintf("DriverSetting = %d", info.DriverSetting));
    page.Memo("SSDInfoMemo", std::move(memo));
    return page;
}

PageTexts SsdInfoPageTexts(const SsdInfoModel& model) {
    return SsdInfoPageTexts(model.info, model.capacity_mb);
}

}  // namespace vt
