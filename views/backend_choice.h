#pragma once
// The drives a program talks to: the system's own, a bench file, or the built-in demo bench.
// The desktop program and vtutil choose the same way.

#include <string>

namespace vt {

// Installs the bench of the file, or the demo bench, for the rest of the process. With neither,
// the system's drives: directly with raw access (as root), otherwise through the privileged
// helper, started through pkexec (or the command VTUTIL_HELPER names, which is then required).
// False, with the reason in `error`, when a bench or a required helper cannot be installed.
bool InstallChosenBackend(const std::string& bench_file, bool demo, std::string& error);

}  // namespace vt
