#pragma once
// vtutil's JSON documents: the common head, the text of a document, the document a failing command
// prints, and printing with a list too long to build whole.

#include <cstddef>
#include <functional>
#include <string>

#include "report/page_json.h"
#include "report/version.h"

namespace vt {

// A document with the format and tool versions first.
inline Json JsonDocument() {
    Json document;
    document["json_format_version"] = kJsonFormatVersion;
    document["tool_version"] = kToolVersion;
    return document;
}

// A document's text. Bytes a drive sent that are not UTF-8 become U+FFFD: one odd disk must not
// abort the output.
template <typename Document>
std::string JsonDump(const Document& document) {
    return document.dump(2, ' ', false, Document::error_handler_t::replace);
}

// The document of a failed command: the head and an "error" object {message, exit_status}.
Json ErrorDocument(const std::string& message, int exit_status);

// Prints the document, indented, on standard output.
void PrintJson(const Json& document);

// A list of `size` items, each made only when it is printed.
struct StreamedList {
    std::size_t size = 0;
    std::function<Json(std::size_t)> item;
};
// Prints the document as the one above would print it with `list` built in place of its last
// kStreamedList value, holding one item at a time.
void PrintJson(const Json& document, const StreamedList& list);

}  // namespace vt
