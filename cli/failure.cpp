#include "cli/failure.h"

#include "cli/terminal_text.h"
#include "report/json_document.h"

namespace vt::cli {

int ReportFailure(bool json, const std::string& message, int exit_status) {
    Warn(message);
    if (json) PrintErrorDocument(message, exit_status);
    return exit_status;
}

void PrintErrorDocument(const std::string& message, int exit_status) {
    PrintJson(ErrorDocument(message, exit_status));
}

}  // namespace vt::cli
