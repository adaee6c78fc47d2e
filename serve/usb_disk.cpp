#include "serve/usb_disk.h"

#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "serve/configfs.h"
#include "serve/ffs_function.h"
#include "serve/scsi_exchange.h"

namespace vt::serve {
namespace {

// Wakes the bulk thread out of a blocking endpoint read or write when the server ends.
constexpr int kWakeSignal = SIGUSR2;
void OnWake(int) {}

void InstallWakeHandler() {
    struct sigaction wake {};
    wake.sa_handler = OnWake;  // no SA_RESTART: the endpoint call returns EINTR
    sigaction(kWakeSignal, &wake, nullptr);
}

bool WriteBlob(int fd, const std::vector<std::uint8_t>& blob, const std::string& what,
               std::string& error) {
    if (::write(fd, blob.data(), blob.size()) == static_cast<ssize_t>(blob.size())) return true;
    error = "FunctionFS refused the " + what + ": " + std::strerror(errno);
    return false;
}

}  // namespace

UsbDisk::UsbDisk(UsbSettings settings, sim::VirtualDrive& drive, platform::VirtualClock& clock,
                 std::mutex& drives_lock)
    : settings_(std::move(settings)), device_(drive, clock), drives_lock_(drives_lock) {}

std::unique_ptr<UsbDisk> UsbDisk::Create(const UsbSettings& settings, sim::VirtualDrive& drive,
                                         platform::VirtualClock& clock, std::mutex& drives_lock,
                                         std::string& error) {
    std::unique_ptr<UsbDisk> disk(new UsbDisk(settings, drive, clock, drives_lock));
    if (!disk->Open(error)) return nullptr;
    return disk;
}

bool UsbDisk::Open(std::string& error) {
    const std::string gadgets = settings_.configfs + "/usb_gadget";
    if (::access(gadgets.c_str(), F_OK) != 0) {
        error = "no USB gadget framework at " + gadgets + " (load libcomposite, mount configfs)";
        return false;
    }
    gadget_dir_ = gadgets + "/" + settings_.name;
    const std::string instance = settings_.name;
    function_dir_ = gadget_dir_ + "/functions/ffs." + instance;
    function_link_ = gadget_dir_ + "/configs/c.1/ffs." + instance;
    // The Linux Foundation's numbers for a composite gadget: no quirk of usb-storage matches them.
    if (!MakeDirectory(gadget_dir_, error) ||
        !WriteText(gadget_dir_ + "/idVendor", "0x1d6b", error) ||
        !WriteText(gadget_dir_ + "/idProduct", "0x0104", error) ||
        !WriteText(gadget_dir_ + "/bcdUSB", "0x0200", error) ||
        !MakeDirectory(gadget_dir_ + "/strings/0x409", error) ||
        !WriteText(gadget_dir_ + "/strings/0x409/manufacturer", "VTUtility bench", error) ||
        !WriteText(gadget_dir_ + "/strings/0x409/product", settings_.product, error) ||
        !WriteText(gadget_dir_ + "/strings/0x409/serialnumber", settings_.serial, error) ||
        !MakeDirectory(gadget_dir_ + "/configs/c.1", error) ||
        !MakeDirectory(gadget_dir_ + "/configs/c.1/strings/0x409", error) ||
        !WriteText(gadget_dir_ + "/configs/c.1/strings/0x409/configuration", "Bulk-Only", error) ||
        !MakeDirectory(function_dir_, error) || !MakeLink(function_dir_, function_link_, error)) {
        return false;
    }
    if (::mount(instance.c_str(), settings_.mount_dir.c_str(), "functionfs", 0, nullptr) != 0) {
        error = "cannot mount FunctionFS " + instance + " on " + settings_.mount_dir + ": " +
                std::strerror(errno) + " (load usb_f_fs)";
        return false;
    }
    mounted_ = true;
    ep0_ = Descriptor(::open((settings_.mount_dir + "/ep0").c_str(), O_RDWR | O_CLOEXEC));
    if (ep0_.Get() < 0) {
        error = "cannot open " + settings_.mount_dir + "/ep0: " + std::strerror(errno);
        return false;
    }
    if (!WriteBlob(ep0_.Get(), MassStorageDescriptors(), "descriptors", error) ||
        !WriteBlob(ep0_.Get(), FunctionStrings("Bulk-Only " + settings_.product), "strings",
                   error)) {
        return false;
    }
    // The endpoint files, numbered in descriptor order: bulk-in first, bulk-out second.
    bulk_in_ = Descriptor(::open((settings_.mount_dir + "/ep1").c_str(), O_RDWR | O_CLOEXEC));
    bulk_out_ = Descriptor(::open((settings_.mount_dir + "/ep2").c_str(), O_RDWR | O_CLOEXEC));
    if (bulk_in_.Get() < 0 || bulk_out_.Get() < 0) {
        error = "cannot open the endpoints in " + settings_.mount_dir + ": " + std::strerror(errno);
        return false;
    }
    // Events wait on ep0 from now on; the server reads them when poll says so.
    ::fcntl(ep0_.Get(), F_SETFL, ::fcntl(ep0_.Get(), F_GETFL) | O_NONBLOCK);
    InstallWakeHandler();
    bulk_ = std::thread([this] { ServeBulk(); });
    return true;
}

UsbDisk::~UsbDisk() {
    stop_ = true;
    Detach();
    if (bulk_.joinable()) {
        while (!bulk_ended_) {
            ::pthread_kill(bulk_.native_handle(), kWakeSignal);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        bulk_.join();
    }
    bulk_in_.Reset();
    bulk_out_.Reset();
    ep0_.Reset();
    if (mounted_) ::umount(settings_.mount_dir.c_str());
    RemoveLink(function_link_);
    RemoveDirectory(gadget_dir_ + "/configs/c.1/strings/0x409");
    RemoveDirectory(gadget_dir_ + "/configs/c.1");
    RemoveDirectory(function_dir_);
    RemoveDirectory(gadget_dir_ + "/strings/0x409");
    RemoveDirectory(gadget_dir_);
}

bool UsbDisk::Attach(std::string& error) {
    if (!WriteText(gadget_dir_ + "/UDC", settings_.udc, error)) return false;
    attached_ = true;
    return true;
}

void UsbDisk::Detach() {
    if (!attached_.exchange(false)) return;
    std::string ignored;
    WriteText(gadget_dir_ + "/UDC", "\n", ignored);
}

void UsbDisk::ServiceControl() {
    usb_functionfs_event event{};
    // One event at a time: after a SETUP event, ep0's next transfer is that request's data or
    // status stage.
    while (::read(ep0_.Get(), &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
        if (event.type != FUNCTIONFS_SETUP) continue;
        const SetupRequest setup{event.u.setup.bRequestType, event.u.setup.bRequest,
                                 event.u.setup.wValue, event.u.setup.wIndex, event.u.setup.wLength};
        const SetupAnswer answer = AnswerSetup(setup);
        const bool in = (setup.request_type & USB_DIR_IN) != 0;
        if (answer.reset) {
            std::lock_guard lock(drives_lock_);
            device_.Reset();
        }
        if (settings_.trace) {
            std::fprintf(stderr, "%s: control %02Xh %02Xh -> %s\n", settings_.name.c_str(),
                         setup.request_type, setup.request,
                         answer.kind == SetupAnswer::Kind::Stall ? "stall" : "answered");
        }
        // A transfer in the wrong direction stalls ep0; results do not matter: the host sees them.
        switch (answer.kind) {
            case SetupAnswer::Kind::Data:
                (void)!::write(ep0_.Get(), answer.data.data(),
                               std::min<std::size_t>(answer.data.size(), setup.length));
                break;
            case SetupAnswer::Kind::Ack:
                (void)!::read(ep0_.Get(), nullptr, 0);
                break;
            case SetupAnswer::Kind::Stall:
                if (in) {
                    (void)!::read(ep0_.Get(), nullptr, 0);
                } else {
                    (void)!::write(ep0_.Get(), nullptr, 0);
                }
                break;
        }
    }
}

bool UsbDisk::ReadAll(std::span<std::uint8_t> data) {
    std::size_t at = 0;
    while (at < data.size() && !stop_) {
        const ssize_t n = ::read(bulk_out_.Get(), data.data() + at, data.size() - at);
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return at == data.size();
}

bool UsbDisk::WriteAll(std::span<const std::uint8_t> data) {
    std::size_t at = 0;
    while (at < data.size() && !stop_) {
        const ssize_t n = ::write(bulk_in_.Get(), data.data() + at, data.size() - at);
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return at == data.size();
}

void UsbDisk::HaltBoth() {
    // FunctionFS halts an endpoint on a transfer in the wrong direction.
    std::uint8_t byte = 0;
    (void)!::read(bulk_in_.Get(), &byte, 1);
    (void)!::write(bulk_out_.Get(), &byte, 1);
}

void UsbDisk::ServeBulk() {
    std::array<std::uint8_t, 512> packet{};
    while (!stop_) {
        const ssize_t n = ::read(bulk_out_.Get(), packet.data(), packet.size());
        if (n < 0) {
            // Disabled by a reset or a disconnect: FunctionFS waits until it is enabled again.
            if (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const auto cbw = ParseCbw({packet.data(), static_cast<std::size_t>(n)});
        if (!cbw || cbw->data_length > kMaxBulkTransfer) {
            // Not a command, or a data phase beyond what this device takes: the host recovers
            // with a Bulk-Only reset and clears both halts.
            HaltBoth();
            continue;
        }
        std::vector<std::uint8_t> out;
        if (!cbw->data_in && cbw->data_length > 0) {
            out.resize(cbw->data_length);
            if (!ReadAll(out)) continue;
        }
        BulkAnswer answer;
        {
            std::lock_guard lock(drives_lock_);
            answer = device_.Answer(*cbw, out);
        }
        ++commands_;
        const bool withheld = answer.kind == BulkAnswer::Kind::Withheld;
        if (settings_.trace) {
            std::fprintf(stderr, "%s: [%s] %u bytes %s -> %s status %u, residue %u\n",
                         settings_.name.c_str(), CdbText(cbw->cdb).c_str(), cbw->data_length,
                         cbw->data_in ? "in" : "out",
                         withheld                                ? "withheld"
                         : answer.kind == BulkAnswer::Kind::Gone ? "gone"
                                                                 : "answered",
                         static_cast<unsigned>(answer.status), answer.residue);
        }
        // Said always, as for the SCSI disks: only the host's time-out ends this command.
        if (withheld) {
            std::fprintf(stderr, "vtbench-serve: %s withholds [%s]\n", settings_.name.c_str(),
                         CdbText(cbw->cdb).c_str());
        }
        if (answer.kind == BulkAnswer::Kind::Gone) gone_ = true;
        // A withheld command gets no answer: the host's time-out, its reset and the next
        // wrapper follow.
        if (answer.kind != BulkAnswer::Kind::Status) continue;
        if (cbw->data_in && !WriteAll(answer.data)) continue;
        const auto csw = MakeCsw(cbw->tag, answer.residue, answer.status);
        WriteAll(csw);
    }
    bulk_ended_ = true;
}

}  // namespace vt::serve
