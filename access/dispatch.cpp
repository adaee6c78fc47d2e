#include "access/dispatch.h"

#include "access/ata_passthrough.h"
#include "access/device_tables.h"
#include "access/scsi_passthrough.h"

namespace vt {

int DispatchCommand(unsigned device, bool data_in, std::span<const std::uint8_t> block,
                    std::span<std::uint8_t> data, int length) {
    const DeviceEntry& entry = EntryOf(device);
    if (entry.AtaPassThrough) {
        return SendAtaCommand(entry.DevicePath, data_in, block, data, length,
                              kCommandTimeoutSeconds);
    }
    if (entry.DevicePath.empty()) return -1;
    // A bridge that runs vendor command blocks itself may take minutes over a long table read.
    const int timeout =
        data_in && entry.DirectVendorCdb ? kBridgeReadTimeoutSeconds : kCommandTimeoutSeconds;
    int transferred = 0;
    const int result = data_in ? ReadSCSICommandWithTimeOutValue(entry.DevicePath, block, data,
                                                                 length, transferred, timeout)
                               : WriteSCSICommandWithTimeOutValue(entry.DevicePath, block, data,
                                                                  length, transferred, timeout);
    return result == 0 ? -2 : 1;
}

}  // namespace vt
