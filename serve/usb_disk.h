#pragma once
// A bench drive behind a USB bridge as a USB mass-storage device of the kernel: a gadget of the
// configfs gadget framework whose one function, written with FunctionFS, speaks the Bulk-Only
// Transport; bound to a device controller (dummy_hcd's), the host side's usb-storage drives it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/bench_backend.h"
#include "serve/bulk_only.h"
#include "serve/file_descriptor.h"
#include "sim/virtual_drive.h"

namespace vt::serve {

struct UsbSettings {
    std::string name;       // the gadget's and the function's name, unique among this server's
    std::string udc;        // the device controller to bind to ("dummy_udc.0")
    std::string serial;     // the device's serial number string
    std::string product;    // the device's product string
    std::string mount_dir;  // an empty directory for the function's FunctionFS mount
    std::string configfs = "/sys/kernel/config";
    bool trace = false;  // one line on standard error per command
};

class UsbDisk {
  public:
    // Creates the gadget and its function, mounts FunctionFS and tells it the descriptors; the
    // bulk endpoints are served from a thread of their own, under `drives_lock`.
    static std::unique_ptr<UsbDisk> Create(const UsbSettings& settings, sim::VirtualDrive& drive,
                                           platform::VirtualClock& clock, std::mutex& drives_lock,
                                           std::string& error);
    ~UsbDisk();
    UsbDisk(const UsbDisk&) = delete;
    UsbDisk& operator=(const UsbDisk&) = delete;

    // Binds the gadget to its controller: the host enumerates it (ServiceControl must run).
    bool Attach(std::string& error);
    // Unbinds it: the device leaves the bus, as when the drive went away.
    void Detach();
    bool Attached() const { return attached_; }

    // ep0: readable when the kernel has events (binding, control requests) for the function.
    int ControlFd() const { return ep0_.Get(); }
    void ServiceControl();

    bool GoneSeen() const { return gone_; }
    std::uint64_t Commands() const { return commands_; }

  private:
    UsbDisk(UsbSettings settings, sim::VirtualDrive& drive, platform::VirtualClock& clock,
            std::mutex& drives_lock);
    bool Open(std::string& error);
    void ServeBulk();
    bool ReadAll(std::span<std::uint8_t> data);
    bool WriteAll(std::span<const std::uint8_t> data);
    void HaltBoth();

    UsbSettings settings_;
    BulkOnlyDevice device_;
    std::mutex& drives_lock_;
    std::string gadget_dir_, function_dir_, function_link_;
    bool mounted_ = false;
    Descriptor ep0_, bulk_in_, bulk_out_;
    std::thread bulk_;
    std::atomic<bool> stop_ = false, bulk_ended_ = false, attached_ = false, gone_ = false;
    std::atomic<std::uint64_t> commands_ = 0;
};

}  // namespace vt::serve
