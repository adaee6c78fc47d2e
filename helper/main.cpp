// vtutility-helper: the raw drive access of a desktop program or vtutil that runs as the user.
// Started by that program (through pkexec) with one end of a socket as its standard input and
// output; serves the drive enumeration, rescan and drive requests on the disks it listed, and ends
// when the program closes its end.

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/helper_server.h"
#include "platform/linux_backend.h"
#include "sim/bench.h"

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "usage: vtutility-helper [--serve-demo | --serve-bench FILE]\n"
        "Started by vtutility and vtutil when they lack raw drive access; it speaks their\n"
        "protocol on its standard input and output and is of no use from a terminal.\n"
        "--serve-demo and --serve-bench serve virtual drives instead of the system's.\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    ::umask(077);
    if (::chdir("/") != 0) return 1;

    std::unique_ptr<vt::platform::Backend> backend;
    bool virtual_clock = false;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--serve-demo" && argc == 2) {
        backend = vt::sim::MakeDemoBench();
        virtual_clock = true;
    } else if (mode == "--serve-bench" && argc == 3) {
        // Not through pkexec: root would read a file the user names.
        if (std::getenv("PKEXEC_UID") != nullptr) return Usage();
        std::string error;
        backend = vt::sim::LoadBenchFile(argv[2], error);
        if (!backend) {
            std::fprintf(stderr, "vtutility-helper: %s\n", error.c_str());
            return 1;
        }
        virtual_clock = true;
    } else if (argc == 1) {
        if (::isatty(STDIN_FILENO)) return Usage();
        backend = std::make_unique<vt::platform::LinuxBackend>();
    } else {
        return Usage();
    }

    vt::platform::helper::Server server(*backend, virtual_clock);
    return server.Serve(STDIN_FILENO, STDOUT_FILENO);
}
