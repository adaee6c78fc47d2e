#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace vt {
namespace {

TEST(ByteOrder, FieldsReadWhollyInsideOrAsZero) {
    const std::array<std::uint8_t, 8> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EXPECT_EQ(Le32(bytes, 4), 0x08070605u);  // ends at the last byte
    EXPECT_EQ(Be32(bytes, 4), 0x05060708u);
    EXPECT_EQ(Le64(bytes, 0), 0x0807060504030201u);
    EXPECT_EQ(Be64(bytes, 0), 0x0102030405060708u);
    // A field that crosses the end is no value: not its first bytes, as one reader once gave.
    EXPECT_EQ(Le32(bytes, 6), 0u);
    EXPECT_EQ(Be16(bytes, 7), 0u);
    EXPECT_EQ(Le16(bytes, std::numeric_limits<std::size_t>::max()), 0u);  // no wrap-around
    EXPECT_EQ(Byte(bytes, 8), 0u);
    EXPECT_EQ(Le16(std::span<const std::uint8_t>(), 0), 0u);
}

}  // namespace
}  // namespace vt
