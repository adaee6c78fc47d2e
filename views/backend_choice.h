#pragma once
// The drives a program talks to: the system's own, a bench file, or the built-in demo bench.
// The desktop program and vtutil choose the same way.

#include <string>

namespace vt {

// Installs the bench of the file, or the demo bench, for the rest of the process; with neither,
// keeps the Linux backend. False, with the reason in `error`, when a bench cannot be installed.
bool InstallChosenBackend(const std::string& bench_file, bool demo, std::string& error);

}  // namespace vt
