#pragma once
// The page reader's inputs and output: the toolkit-style integer conversion of its boxes, the
// checks before a read, and the dump lines of one page.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/integer_text.h"

namespace vt {

// The conversion error the window shows for a box whose text is not an integer.
std::string InvalidIntegerMessage(std::string_view text);
// ToolkitStrToInt, or throws std::runtime_error with InvalidIntegerMessage.
int StrToIntOrThrow(std::string_view text);

struct PageAddress {
    std::uint8_t channel = 0;
    std::uint8_t bank = 0;
    std::uint16_t block_unit = 0;
    std::uint16_t block = 0;
    std::uint16_t page = 0;
    std::uint8_t ecc_option = 0;  // 1 with "Ecc 24" checked
};

// The boxes' texts, in the order of the window.
struct PageReaderBoxes {
    std::string channel;
    std::string bank;
    std::string block_unit;
    std::string block;
    std::string page;
    bool ecc24 = false;
};

// False when a box the read needs is empty: then nothing is converted or sent.
bool RequiredBoxesFilled(const PageReaderBoxes& boxes);
// Converts Page, Block, BlockUnit, Bank, Channel in that order, so the first bad box is the one
// reported (the throw of StrToIntOrThrow). Values are cut to the command's field widths.
PageAddress SystemPageAddress(const PageReaderBoxes& boxes);
// As above without the block unit. `channel_count` is the drive's: a channel above it is refused
// (std::runtime_error), since the read has no such channel; equal to it means every channel.
PageAddress FlashPageAddress(const PageReaderBoxes& boxes, unsigned channel_count);

// Bytes the loader-level read needs: one page for each channel up to the highest one read.
std::size_t FlashPageBufferSize(const PageAddress& address, unsigned channel_count,
                                unsigned sectors_per_page);
// Where the dumped page starts in that buffer: the channel's page, channel 0's for all channels.
std::size_t FlashPageOffset(const PageAddress& address, unsigned channel_count,
                            unsigned sectors_per_page);

// One dump line per 16 bytes of the page at `page` (page_bytes long), offsets from the page's
// start. A page that runs past the buffer is dumped as far as the buffer holds it.
std::vector<std::string> PageDumpLines(std::span<const std::uint8_t> buffer, std::size_t page,
                                       std::size_t page_bytes);

}  // namespace vt
