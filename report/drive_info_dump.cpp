#include "report/drive_info_dump.h"

#include <cstdint>
#include <span>

#include "platform/files.h"
#include "report/identify_texts.h"
#include "report/ssd_info_texts.h"
#include "tools/drive_info_dump.h"

namespace vt {

std::string WriteDriveInfoDump(const std::string& program_dir, const std::string& name,
                               const PageModels& models) {
    if (std::string problem = DumpNameProblem(name); !problem.empty()) return problem;
    PageTexts usb;
    if (models.device_info && models.device_info->usb)
        usb = UsbIdentityTexts(*models.device_info->usb);
    const PageTexts ssd = models.ssd_info ? SsdInfoPageTexts(*models.ssd_info) : PageTexts{};
    DriveInfoTexts texts;
    texts.VendorName = usb.EditOf("VendorNameEdit");
    texts.ProductName = usb.EditOf("ProductNameEdit");
    texts.ManufacturString = usb.EditOf("ManufacturStringEdit");
    texts.ProductString = usb.EditOf("ProductStringEdit");
    texts.Vid = usb.EditOf("VIDEdit");
    texts.Pid = usb.EditOf("PIDEdit");
    texts.SerialNumber = usb.EditOf("SNUSBEdit");
    texts.Flashmodel = ssd.EditOf("FlashmodelEdit");
    texts.Channel = ssd.EditOf("ChannelEdit");
    texts.Capacity = ssd.EditOf("CapacityEdit");
    texts.Driver = ssd.EditOf("DriverEdit");
    texts.ResPer = ssd.EditOf("ResPerEdit");
    texts.EccRead = ssd.EditOf("EccReadEdit");
    texts.EccCopy = ssd.EditOf("EccCopyEdit");
    texts.WearLeveling = ssd.EditOf("WearLevelingEdit");
    texts.BankMap = ssd.EditOf("BankMapEdit");
    texts.Support1 = ssd.EditOf("SupportEdit1");
    texts.Support2 = ssd.EditOf("SupportEdit2");
    texts.Fw = ssd.EditOf("FwEdit");
    const std::string text = DriveInfoDumpText(texts);
    std::string error;
    if (!platform::ReplaceFile(DriveInfoDumpPath(program_dir, name),
                               {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                               error))
        return error;
    return {};
}

}  // namespace vt
