#pragma once
// How a failing command says so: on standard error always, and as a document with --json.

#include <string>

namespace vt::cli {

// Prints "vtutil: MESSAGE" on standard error and, with `json`, the error document (ErrorDocument)
// on standard output, so a monitoring tool always has a document to read. Returns `exit_status`.
int ReportFailure(bool json, const std::string& message, int exit_status);
// The document alone, for a failure already said on standard error.
void PrintErrorDocument(const std::string& message, int exit_status);

}  // namespace vt::cli
