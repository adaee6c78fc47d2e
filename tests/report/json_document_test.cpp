// A document printed with a list made item by item reads exactly as the whole document would.

#include "report/json_document.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(JsonDocument, AStreamedListPrintsAsTheWholeDocument) {
    const auto item = [](std::size_t i) {
        return Json{{"block", i}, {"counts", {i, nullptr}}, {"bad_columns", Json::array()}};
    };
    for (const std::size_t size : {0, 1, 3}) {
        Json whole = JsonDocument();
        whole["device"] = {{"model", kStreamedList}};  // a drive's text that happens to match
        whole["page"] = {{"columns", {1, 2}}, {"blocks", Json::array()}, {"average", 7}};
        Json streamed = whole;
        streamed["page"]["blocks"] = kStreamedList;
        for (std::size_t i = 0; i < size; ++i) whole["page"]["blocks"].push_back(item(i));

        testing::internal::CaptureStdout();
        PrintJson(streamed, StreamedList{size, item});
        EXPECT_EQ(testing::internal::GetCapturedStdout(), JsonDump(whole) + "\n") << size;
    }
}

}  // namespace
}  // namespace vt
