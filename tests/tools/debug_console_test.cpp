#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "tools/debug_console.h"

namespace vt {
namespace {

struct FakeRegisters {
    std::map<std::uint32_t, std::uint8_t> values;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> writes;
    std::vector<std::uint32_t> reads;
    bool fail = false;

    DebugConsolePort Port() {
        DebugConsolePort port;
        port.read_register = [this](std::uint32_t address, std::uint8_t& value) {
            reads.push_back(address);
            if (fail) return false;
            value = values[address];
            return true;
        };
        port.write_register = [this](std::uint32_t address, std::uint8_t value) {
            writes.emplace_back(address, value);
            return !fail;
        };
        return port;
    }
};

std::optional<std::string> Console(std::string command, const DebugConsolePort& port) {
    return RunDebugCommand(command, port);
}

TEST(DebugConsoleParsing, OnlyWholeHexNumbersAreOperands) {
    EXPECT_EQ(ParseHexToken("1B2"), 0x1B2u);
    EXPECT_EQ(ParseHexToken("0X1F"), 0x1Fu);
    EXPECT_EQ(ParseHexToken("0"), 0u);
    for (const char* bad : {"1G", "G1", "\t+A", "0X", "", "-1"}) {
        EXPECT_FALSE(ParseHexToken(bad)) << bad;
    }
}

TEST(DebugConsoleParsing, AnOperandThatIsNotHexIsRefusedAndNothingIsSent) {
    FakeRegisters regs;
    const auto port = regs.Port();
    EXPECT_EQ(Console("o 1b2 zz", port), "Not a hexadecimal number: ZZ\n");
    EXPECT_EQ(Console("o q 1", port), "Not a hexadecimal number: Q\n");
    EXPECT_EQ(Console("i 1x", port), "Not a hexadecimal number: 1X\n");
    EXPECT_TRUE(regs.writes.empty());
    EXPECT_TRUE(regs.reads.empty());
}

TEST(DebugConsoleParsing, OnlyBlanksSeparateTokens) {
    EXPECT_EQ(DebugTokens("  O  1B2   23 "), (std::vector<std::string>{"O", "1B2", "23"}));
    EXPECT_EQ(DebugTokens("I\t10"), (std::vector<std::string>{"I\t10"}));
    EXPECT_TRUE(DebugTokens("    ").empty());
    EXPECT_EQ(UpperCase8Bit("lba x\xE9"), "LBA X\xE9");
}

TEST(DebugConsoleWrite, WritesTheLowAddressAndValueBitsAndPrintsNothing) {
    FakeRegisters regs;
    const auto port = regs.Port();
    EXPECT_FALSE(Console("o 1b2 23", port));
    EXPECT_FALSE(Console("out 10 ff", port));  // only the first letter names the command
    EXPECT_FALSE(Console("o 10 1ff", port));
    EXPECT_FALSE(Console("O 12345 0x7", port));
    const std::vector<std::pair<std::uint32_t, std::uint8_t>> expected{
        {0x1B2, 0x23}, {0x10, 0xFF}, {0x10, 0xFF}, {0x2345, 0x07}};
    EXPECT_EQ(regs.writes, expected);

    regs.fail = true;
    EXPECT_FALSE(Console("o 1 2", port));  // a failed write is not reported
}

TEST(DebugConsoleWrite, MissingOperandsSendNothing) {
    FakeRegisters regs;
    const auto port = regs.Port();
    EXPECT_FALSE(Console("o 1b2", port));
    EXPECT_FALSE(Console("o", port));
    EXPECT_FALSE(Console("i", port));
    EXPECT_FALSE(Console("", port));
    EXPECT_FALSE(Console("lba", port));
    EXPECT_FALSE(Console("x 1 2", port));
    EXPECT_TRUE(regs.writes.empty());
    EXPECT_TRUE(regs.reads.empty());
}

TEST(DebugConsoleRead, PrintsTheByteInHexWithItsLineFeed) {
    FakeRegisters regs;
    regs.values[0x1CF5] = 0x5A;
    regs.values[0x2345] = 0x07;
    const auto port = regs.Port();
    EXPECT_EQ(Console("i 1cf5", port), "5Ah\n");
    EXPECT_EQ(Console("in 12345", port), "7h\n");
    EXPECT_EQ(regs.reads, (std::vector<std::uint32_t>{0x1CF5, 0x2345}));
}

TEST(DebugConsoleRead, AFailedReadSaysSoInsteadOfPrintingAValue) {
    FakeRegisters regs;
    regs.fail = true;
    EXPECT_EQ(Console("i 1cf5", regs.Port()), "Read register 1CF5h failed\n");
}

TEST(DebugConsoleLba, NeedsTheWholeWordAndATokenAndSaysWhenNoTranslationExists) {
    FakeRegisters regs;
    auto port = regs.Port();
    EXPECT_FALSE(Console("lbax 5", port));
    EXPECT_EQ(Console("lba 5", port),
              "(channel,bank,block) unknown: the drive has no LBA translation\n");

    std::string asked;
    port.translate_lba = [&asked](std::string_view lba) -> std::optional<LbaLocation> {
        asked = lba;
        return LbaLocation{3, 1, 0x1AB};
    };
    EXPECT_EQ(Console("lba 1f00", port), "(channel,bank,block)=(3,1,0x1ab)\n");
    EXPECT_EQ(asked, "1F00");
}

TEST(DebugConsole, UpperCasesTheCommandInPlace) {
    FakeRegisters regs;
    std::string command = "o 1b2 23";
    RunDebugCommand(command, regs.Port());
    EXPECT_EQ(command, "O 1B2 23");
}

}  // namespace
}  // namespace vt
