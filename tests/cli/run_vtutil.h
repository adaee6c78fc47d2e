#pragma once
// Runs the real vtutil binary as a script would: its standard output and exit status.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace vt::test {

struct Run {
    int status = -1;
    std::string out;
};

inline Run Vtutil(const std::string& arguments) {
    Run run;
    const std::string command = std::string(VTUTIL_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        run.out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace vt::test
