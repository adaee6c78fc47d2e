// vtbench-serve: the drives of a bench file as real kernel disks. A drive on bus "scsi" becomes a
// SCSI disk of the kernel's loopback target with a user-space backstore; a drive on bus "usb" a
// USB mass-storage device on a device controller (dummy_hcd's), found by the host's usb-storage.
// Every command the kernel sends is answered by the bench's emulator, as the bench backend would
// answer it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "serve/disk_image.h"
#include "serve/tcmu_disk.h"
#include "serve/usb_disk.h"
#include "sim/bench.h"

namespace {

namespace fs = std::filesystem;
using vt::serve::TcmuDisk;
using vt::serve::UsbDisk;

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_report = 0;

void OnStop(int) {
    g_stop = 1;
}
void OnReport(int) {
    g_report = 1;
}

std::uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The disks the kernel shows now whose device path holds `part`, by block device name.
std::set<std::string> DisksUnder(const std::string& part) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
        const std::string real = fs::canonical(entry.path(), ec).string();
        if (ec) {
            ec.clear();
            continue;
        }
        if (real.find(part) != std::string::npos) {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

struct Served {
    std::size_t drive = 0;
    std::unique_ptr<TcmuDisk> disk;
};

struct ServedUsb {
    std::size_t drive = 0;
    std::unique_ptr<UsbDisk> disk;
};

// Everything the server answers. The rings are worked here; the USB disks' bulk endpoints on
// threads of their own: each command runs under `drives_lock`.
struct Server {
    std::mutex drives_lock;
    std::vector<Served> scsi;
    std::vector<ServedUsb> usb;

    void Report() const {
        for (const auto& s : scsi) {
            std::printf("vtbench-serve: drive %zu: %llu commands\n", s.drive,
                        static_cast<unsigned long long>(s.disk->Commands()));
        }
        for (const auto& s : usb) {
            std::printf("vtbench-serve: drive %zu: %llu commands\n", s.drive,
                        static_cast<unsigned long long>(s.disk->Commands()));
        }
        std::fflush(stdout);
    }
};

void SayGone(std::size_t drive) {
    std::printf("vtbench-serve: drive %zu went away; its disk leaves the kernel\n", drive);
    std::fflush(stdout);
}

// Answers the rings and the USB control requests of all disks until `until` is true, the deadline
// passes or a stop signal came.
template <typename Until>
void ServeLoop(Server& server, std::uint64_t deadline_ms, Until until, bool heed_stop = true) {
    for (;;) {
        int wait_ms = 200;
        for (auto& s : server.scsi) {
            int held = -1;
            {
                std::lock_guard lock(server.drives_lock);
                held = s.disk->Service(NowMs());
            }
            if (held >= 0) wait_ms = std::min(wait_ms, held);
            if (s.disk->GoneSeen() && s.disk->Exported()) {
                SayGone(s.drive);
                s.disk->Unexport();
            }
        }
        for (auto& s : server.usb) {
            if (s.disk->GoneSeen() && s.disk->Attached()) {
                SayGone(s.drive);
                s.disk->Detach();
            }
        }
        if ((heed_stop && g_stop) || until() || NowMs() >= deadline_ms) return;
        if (g_report) {
            g_report = 0;
            server.Report();
        }
        std::vector<pollfd> fds;
        for (const auto& s : server.scsi) fds.push_back({s.disk->Fd(), POLLIN, 0});
        for (const auto& s : server.usb) fds.push_back({s.disk->ControlFd(), POLLIN, 0});
        // A gone USB drive is seen on its bulk thread: look again soon.
        if (!server.usb.empty()) wait_ms = std::min(wait_ms, 50);
        if (::poll(fds.data(), fds.size(), wait_ms) > 0) {
            for (std::size_t i = 0; i < server.scsi.size(); ++i) {
                if ((fds[i].revents & POLLIN) != 0) {
                    std::uint32_t events = 0;
                    if (::read(fds[i].fd, &events, sizeof events) < 0) {
                        // Nothing to take: the ring itself says what is new.
                    }
                }
            }
            for (std::size_t i = 0; i < server.usb.size(); ++i) {
                if ((fds[server.scsi.size() + i].revents & POLLIN) != 0) {
                    server.usb[i].disk->ServiceControl();
                }
            }
        }
    }
}

// The device controllers a gadget can bind to, by name.
std::vector<std::string> DeviceControllers() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/udc", ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Puts one drive on bus "scsi" behind a loopback target's LUN; the disk's name or an error.
bool AddScsiDisk(Server& server, std::size_t i, vt::sim::VirtualDrive& drive,
                 vt::platform::VirtualClock& clock, unsigned time_out, bool trace,
                 std::string& node, std::string& error) {
    vt::serve::TcmuSettings settings;
    settings.name = "vtbench" + std::to_string(i);
    settings.index = static_cast<unsigned>(i);
    settings.size_bytes = drive.Config().capacity_sectors * vt::sim::kSectorSize;
    settings.command_time_out = time_out;
    settings.trace = trace;
    auto disk = TcmuDisk::Create(settings, drive, clock, error);
    if (!disk) return false;
    const auto before = DisksUnder("/tcm_loop");
    TcmuDisk* exporting = disk.get();
    server.scsi.push_back({i, std::move(disk)});
    // The kernel scans the new LUN and sd attaches inside the export's configfs call, through
    // this very ring: export on a thread of its own and answer meanwhile. Waiting for the disk
    // makes the drives of the file the kernel's disks in file order.
    std::atomic<int> exported = -1;
    std::string export_error;
    std::thread exporter([&] { exported = exporting->Export(export_error) ? 1 : 0; });
    ServeLoop(server, NowMs() + 60000, [&] {
        if (exported == 0) return true;
        for (const auto& name : DisksUnder("/tcm_loop")) {
            if (!before.contains(name)) node = name;
        }
        return exported == 1 && !node.empty();
    });
    exporter.join();
    if (exported != 1) {
        error = export_error;
        return false;
    }
    if (node.empty()) error = "no disk appeared";
    return !node.empty();
}

// Puts one drive on bus "usb" on the device controller `udc`; the disk's name or an error.
bool AddUsbDisk(Server& server, std::size_t i, vt::sim::VirtualDrive& drive,
                vt::platform::VirtualClock& clock, const std::string& udc,
                const std::string& mount_dir, bool trace, std::string& node, std::string& error) {
    vt::serve::UsbSettings settings;
    settings.name = "vtbench" + std::to_string(i);
    settings.udc = udc;
    settings.serial = "VTBENCH" + std::to_string(1000 + i);
    settings.product = "Bench drive " + std::to_string(i);
    settings.mount_dir = mount_dir;
    settings.trace = trace;
    std::error_code ec;
    fs::create_directories(mount_dir, ec);
    auto disk = UsbDisk::Create(settings, drive, clock, server.drives_lock, error);
    if (!disk) return false;
    const auto before = DisksUnder("/usb");
    UsbDisk* attaching = disk.get();
    server.usb.push_back({i, std::move(disk)});
    if (!attaching->Attach(error)) return false;
    // The host enumerates the device (control requests on ep0), usb-storage binds it and sd
    // attaches through the bulk endpoints.
    ServeLoop(server, NowMs() + 60000, [&] {
        for (const auto& name : DisksUnder("/usb")) {
            if (!before.contains(name)) node = name;
        }
        return !node.empty();
    });
    if (node.empty()) error = "no disk appeared (is usb-storage loaded?)";
    return !node.empty();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vtbench-serve: the drives of a bench file as real kernel disks"};
    std::string bench_file, dump_dir;
    unsigned time_out = 0;
    bool trace = false;
    app.add_option("BENCH_FILE", bench_file, "The bench file")->required();
    app.add_option("--time-out", time_out,
                   "Seconds the kernel's target core waits for a drive that does not answer "
                   "(default: the kernel's)");
    app.add_option("--dump-dir", dump_dir,
                   "At the end, write each drive's user sectors to DIR/driveN.img");
    app.add_flag("--trace", trace, "One line on standard error for every command answered");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 1;
    }

    std::string error;
    auto backend = vt::sim::LoadBenchFile(bench_file, error);
    if (!backend) {
        std::fprintf(stderr, "vtbench-serve: %s\n", error.c_str());
        return 1;
    }
    vt::sim::Bench& bench = vt::sim::BenchOf(*backend);

    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    struct sigaction report {};
    report.sa_handler = OnReport;
    sigaction(SIGUSR1, &report, nullptr);

    Server server;
    int status = 0;
    const std::vector<std::string> controllers = DeviceControllers();
    std::size_t next_controller = 0;
    char mount_template[] = "/tmp/vtbench-serve.XXXXXX";
    std::string mount_root;
    for (std::size_t i = 0; i < bench.DiskCount() && !g_stop; ++i) {
        vt::sim::VirtualDrive& drive = bench.Drive(i);
        const std::string& bus = drive.Config().bus;
        std::string node;
        bool added = false;
        if (bus == "scsi") {
            added = AddScsiDisk(server, i, drive, backend->Clock(), time_out, trace, node, error);
        } else if (bus == "usb") {
            if (next_controller >= controllers.size()) {
                error = "no USB device controller left for it (" +
                        std::to_string(controllers.size()) +
                        " in /sys/class/udc; load dummy_hcd with num=N for N drives)";
            } else if (mount_root.empty() && ::mkdtemp(mount_template) == nullptr) {
                error =
                    std::string("cannot make a directory for FunctionFS: ") + std::strerror(errno);
            } else {
                if (mount_root.empty()) mount_root = mount_template;
                added =
                    AddUsbDisk(server, i, drive, backend->Clock(), controllers[next_controller++],
                               mount_root + "/ffs" + std::to_string(i), trace, node, error);
            }
        } else {
            std::printf("vtbench-serve: drive %zu (%s) stays on the bench: %s\n", i, bus.c_str(),
                        bus == "ide" ? "the kernel has no user-space ATA host to put it behind"
                                     : "no kernel path for this bus here");
            continue;
        }
        if (!added) {
            std::fprintf(stderr, "vtbench-serve: drive %zu: %s\n", i, error.c_str());
            status = 1;
            break;
        }
        std::printf("vtbench-serve: drive %zu (%s) is /dev/%s\n", i, bus.c_str(), node.c_str());
        std::fflush(stdout);
    }
    if (status == 0) {
        std::printf("vtbench-serve: ready\n");
        std::fflush(stdout);
        ServeLoop(server, UINT64_MAX, [] { return false; });
    }
    // The disks leave the kernel while their rings are still answered: sd flushes a write-back
    // cache as it detaches, and that command must not wait for the target core's time-out.
    for (auto& s : server.scsi) s.disk->Unexport();
    for (auto& s : server.usb) s.disk->Detach();
    ServeLoop(
        server, NowMs() + 60000,
        [&] {
            return std::all_of(server.scsi.begin(), server.scsi.end(),
                               [](const Served& s) { return s.disk->Removed(); });
        },
        false);
    server.Report();
    server.usb.clear();
    server.scsi.clear();
    if (!mount_root.empty()) {
        // Only what is empty: a mount the kernel kept stays untouched.
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(mount_root, ec)) {
            ::rmdir(entry.path().c_str());
        }
        ::rmdir(mount_root.c_str());
    }
    if (!dump_dir.empty()) {
        for (std::size_t i = 0; i < bench.DiskCount(); ++i) {
            const std::string path = dump_dir + "/drive" + std::to_string(i) + ".img";
            if (!vt::serve::WriteUserImage(bench.Drive(i), path, error)) {
                std::fprintf(stderr, "vtbench-serve: %s\n", error.c_str());
                status = 1;
            }
        }
    }
    std::fflush(stdout);
    return status;
}
