#include "cli/json_document.h"

#include <cstdio>

#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "views/headless_presentation.h"

namespace vt::cli {

int ReportFailure(bool json, const std::string& message, int exit_status) {
    Warn(message);
    if (json) PrintErrorDocument(message, exit_status);
    return exit_status;
}

void PrintErrorDocument(const std::string& message, int exit_status) {
    auto document = JsonDocument();
    // The message may carry a drive's text or a path: Latin-1 bytes as far as JSON knows.
    document["error"] = {{"message", Latin1ToUtf8(message)}, {"exit_status", exit_status}};
    PrintJson(document);
}

void PrintJson(const Json& document) {
    std::printf("%s\n", JsonDump(document).c_str());
}

}  // namespace vt::cli
