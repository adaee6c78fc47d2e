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

// A shell command's standard output and exit status.
inline Run Shell(const std::string& command) {
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        run.out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// With `with_errors`, standard error is read along with standard output.
inline Run Vtutil(const std::string& arguments, bool with_errors = false) {
    return Shell(std::string(VTUTIL_PATH) + " " + arguments +
                 (with_errors ? " 2>&1" : " 2>/dev/null"));
}

}  // namespace vt::test
