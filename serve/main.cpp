// vtbench-serve: the drives of a bench file as real kernel disks. A drive on bus "scsi" becomes a
// SCSI disk of the kernel's loopback target with a user-space backstore; every command the kernel
// sends it is answered by the bench's emulator, as the bench backend would answer it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "serve/disk_image.h"
#include "serve/tcmu_disk.h"
#include "sim/bench.h"

namespace {

namespace fs = std::filesystem;
using vt::serve::TcmuDisk;

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

// The SCSI disks of loopback targets the kernel shows now, by block device name.
std::set<std::string> LoopbackDisks() {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
        const std::string real = fs::canonical(entry.path(), ec).string();
        if (ec) {
            ec.clear();
            continue;
        }
        if (real.find("/tcm_loop") != std::string::npos) {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

struct Served {
    std::size_t drive = 0;
    std::unique_ptr<TcmuDisk> disk;
};

// Answers the rings of all disks until `until` is true, the deadline passes or a stop signal came.
template <typename Until>
void ServeLoop(std::vector<Served>& served, std::uint64_t deadline_ms, Until until) {
    for (;;) {
        int wait_ms = 200;
        for (auto& s : served) {
            const int held = s.disk->Service(NowMs());
            if (held >= 0) wait_ms = std::min(wait_ms, held);
            if (s.disk->GoneSeen() && s.disk->Exported()) {
                std::printf("vtbench-serve: drive %zu went away; its disk leaves the kernel\n",
                            s.drive);
                std::fflush(stdout);
                s.disk->Unexport();
            }
        }
        if (g_stop || until() || NowMs() >= deadline_ms) return;
        if (g_report) {
            g_report = 0;
            for (const auto& s : served) {
                std::printf("vtbench-serve: drive %zu: %llu commands\n", s.drive,
                            static_cast<unsigned long long>(s.disk->Commands()));
            }
            std::fflush(stdout);
        }
        std::vector<pollfd> fds;
        for (const auto& s : served) fds.push_back({s.disk->Fd(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), wait_ms) > 0) {
            for (const auto& fd : fds) {
                if ((fd.revents & POLLIN) != 0) {
                    std::uint32_t events = 0;
                    if (::read(fd.fd, &events, sizeof events) < 0) {
                        // Nothing to take: the ring itself says what is new.
                    }
                }
            }
        }
    }
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

    std::vector<Served> served;
    int status = 0;
    for (std::size_t i = 0; i < bench.DiskCount() && !g_stop; ++i) {
        vt::sim::VirtualDrive& drive = bench.Drive(i);
        const std::string& bus = drive.Config().bus;
        if (bus != "scsi") {
            std::printf("vtbench-serve: drive %zu (%s) stays on the bench: %s\n", i, bus.c_str(),
                        bus == "ide" ? "the kernel has no user-space ATA host to put it behind"
                                     : "no kernel path for this bus here");
            continue;
        }
        vt::serve::TcmuSettings settings;
        settings.name = "vtbench" + std::to_string(i);
        settings.index = static_cast<unsigned>(i);
        settings.size_bytes = drive.Config().capacity_sectors * vt::sim::kSectorSize;
        settings.command_time_out = time_out;
        settings.trace = trace;
        auto disk = TcmuDisk::Create(settings, drive, backend->Clock(), error);
        if (!disk) {
            std::fprintf(stderr, "vtbench-serve: drive %zu: %s\n", i, error.c_str());
            status = 1;
            break;
        }
        const auto before = LoopbackDisks();
        TcmuDisk* exporting = disk.get();
        served.push_back({i, std::move(disk)});
        // The kernel scans the new LUN and sd attaches inside the export's configfs call, through
        // this very ring: export on a thread of its own and answer meanwhile. Waiting for the disk
        // makes the drives of the file the kernel's disks in file order.
        std::atomic<int> exported = -1;
        std::string export_error;
        std::thread exporter([&] { exported = exporting->Export(export_error) ? 1 : 0; });
        std::string node;
        ServeLoop(served, NowMs() + 60000, [&] {
            if (exported == 0) return true;
            for (const auto& name : LoopbackDisks()) {
                if (!before.contains(name)) node = name;
            }
            return exported == 1 && !node.empty();
        });
        exporter.join();
        if (exported != 1) {
            std::fprintf(stderr, "vtbench-serve: drive %zu: %s\n", i, export_error.c_str());
            status = 1;
            break;
        }
        if (node.empty()) {
            std::fprintf(stderr, "vtbench-serve: drive %zu: no disk appeared\n", i);
            status = 1;
            break;
        }
        std::printf("vtbench-serve: drive %zu (scsi) is /dev/%s\n", i, node.c_str());
        std::fflush(stdout);
    }
    if (status == 0) {
        std::printf("vtbench-serve: ready\n");
        std::fflush(stdout);
        ServeLoop(served, UINT64_MAX, [] { return false; });
    }
    for (const auto& s : served) {
        std::printf("vtbench-serve: drive %zu: %llu commands\n", s.drive,
                    static_cast<unsigned long long>(s.disk->Commands()));
    }
    served.clear();
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
