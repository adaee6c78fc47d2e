#pragma once
// vtutil's JSON documents: the common head and the document a failing command prints.

#include <cstddef>
#include <functional>
#include <string>

#include "cli/page_json.h"

namespace vt::cli {

// Prints "vtutil: MESSAGE" on standard error and, with `json`, one document with an "error" object
// {message, exit_status} on standard output, so a monitoring tool always has a document to read.
// Returns `exit_status`.
int ReportFailure(bool json, const std::string& message, int exit_status);
// The document alone, for a failure already said on standard error.
void PrintErrorDocument(const std::string& message, int exit_status);

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

}  // namespace vt::cli
