#include <gtest/gtest.h>

#include "views/window_script.h"

namespace vt {
namespace {

std::vector<std::string> Words(const WindowScript& script) {
    std::vector<std::string> words;
    for (const auto& action : script.actions) words.push_back(action.word + "|" + action.value);
    return words;
}

// The actions keep their order; a quoted stretch keeps its blanks; a value may follow '='; the
// dialogs' answers are no actions.
TEST(WindowScript, ActionsInOrderWithQuotedTextsAndDialogAnswers) {
    const auto script = ParseWindowScript(
        "--special --select=1 --type \"DebugEdit=o 1b2 23\" --save-dir \"C:\\out dir\" "
        "--enter DebugEdit --check Ecc24Ck=1 --open log.txt --scan");
    EXPECT_EQ(Words(script),
              (std::vector<std::string>{"--special|", "--select|1", "--type|DebugEdit=o 1b2 23",
                                        "--enter|DebugEdit", "--check|Ecc24Ck=1", "--scan|"}));
    EXPECT_EQ(script.save_dir, "C:\\out dir");
    EXPECT_EQ(script.open_file, "log.txt");
    EXPECT_TRUE(ParseWindowScript("  ").actions.empty());
    EXPECT_EQ(Words(ParseWindowScript("--type \"DebugEdit=\"")),
              std::vector<std::string>{"--type|DebugEdit="});
}

TEST(WindowScript, RefusesWhatItCannotRun) {
    for (const char* bad : {"--click", "--select 0 --frobnicate", "--type \"DebugEdit=open",
                            "--special=1", "select 0"}) {
        EXPECT_THROW(ParseWindowScript(bad), ScriptError) << bad;
    }
    EXPECT_EQ(Latin1FromUtf8Argument("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \xE2\x82\xAC");
}

}  // namespace
}  // namespace vt
