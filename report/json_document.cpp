#include "report/json_document.h"

#include <cstdio>

#include "pages/text_format.h"

namespace vt {

Json ErrorDocument(const std::string& message, int exit_status) {
    Json document = JsonDocument();
    // The message may carry a drive's text or a path: Latin-1 bytes as far as JSON knows.
    document["error"] = {{"message", Latin1ToUtf8(message)}, {"exit_status", exit_status}};
    return document;
}

void PrintJson(const Json& document) {
    std::printf("%s\n", JsonDump(document).c_str());
}

void PrintJson(const Json& document, const StreamedList& list) {
    const std::string text = JsonDump(document);
    const std::string marker = JsonDump(Json(kStreamedList));
    // The last one: drive texts come before the lists, and kStreamedList is not a text they hold.
    const std::size_t at = text.rfind(marker);
    if (at == std::string::npos) {
        std::printf("%s\n", text.c_str());
        return;
    }
    const std::size_t line = text.rfind('\n', at) + 1;  // npos + 1: the first line
    const std::string indent(text.find_first_not_of(' ', line) - line, ' ');
    std::fwrite(text.data(), 1, at, stdout);
    if (list.size == 0) {
        std::fputs("[]", stdout);
    } else {
        // As the whole document's dump lays a list out: an item a line, one level further in.
        const std::string inner = indent + "  ";
        std::fputs("[\n", stdout);
        for (std::size_t i = 0; i < list.size; ++i) {
            std::string item = inner;
            for (const char c : JsonDump(list.item(i))) {
                item += c;
                if (c == '\n') item += inner;
            }
            item += i + 1 < list.size ? ",\n" : "\n";
            std::fwrite(item.data(), 1, item.size(), stdout);
        }
        std::fprintf(stdout, "%s]", indent.c_str());
    }
    std::printf("%s\n", text.c_str() + at + marker.size());
}

}  // namespace vt
