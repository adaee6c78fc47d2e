#pragma once
// SCSI pass-through for drives behind USB bridges and SCSI disks: one CDB of up to 16 bytes per
// call, handed to the backend as a SCSI request.

#include <cstdint>
#include <span>
#include <string>

namespace vt {

// 1 on success, 0 on failure; `transferred` receives the byte count the kernel reports moved.
// A command the device ends with CHECK CONDITION fails unless its sense key is NO SENSE or
// RECOVERED ERROR (for an ATA pass-through CDB: unless the returned STATUS has ERR clear).
int ReadSCSICommandWithTimeOutValue(const std::string& path, std::span<const std::uint8_t> block,
                                    std::span<std::uint8_t> data, int length, int& transferred,
                                    int timeout_seconds);
int WriteSCSICommandWithTimeOutValue(const std::string& path, std::span<const std::uint8_t> block,
                                     std::span<const std::uint8_t> data, int length,
                                     int& transferred, int timeout_seconds);

}  // namespace vt
