#include "pages/firmware_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}

void PutLe32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A marker and its two values, as the firmware writes an entry's head.
Bytes Head(std::uint16_t first, std::uint16_t second) {
    return {kUartLogMarker, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(first >> 8),
            static_cast<std::uint8_t>(second), static_cast<std::uint8_t>(second >> 8)};
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST(SpiFlashHeader, AcceptsOnlyTheThreeImageTags) {
    Bytes header(kSpiHeaderSize, 0);
    const auto tag = Text("VTK38V00-002");
    std::copy(tag.begin(), tag.end(), header.begin());
    PutLe32(header, 20, 0x1000);
    PutLe32(header, 24, 0x800);
    PutLe32(header, 28, 0x2000);
    PutLe32(header, 32, 0x4000);

    const auto decoded = DecodeSpiFlashHeader(std::span(header).first(kSpiHeaderKept));
    EXPECT_EQ(AcceptedSpiTag(decoded), "VTK38V00-002");
    EXPECT_EQ(decoded.err_log_address, 0x1000u);
    EXPECT_EQ(decoded.err_log_length, 0x800u);
    EXPECT_EQ(decoded.uart_log_address, 0x2000u);
    EXPECT_EQ(decoded.uart_log_length, 0x4000u);

    header[11] = '4';
    EXPECT_EQ(AcceptedSpiTag(DecodeSpiFlashHeader(header)), std::nullopt);
    // No header at all (the code load failed) is no accepted tag either.
    EXPECT_EQ(AcceptedSpiTag(DecodeSpiFlashHeader({})), std::nullopt);
}

TEST(DramLayout, FieldsInRecordOrderAndTheirDebugLines) {
    Bytes record(kDramLayoutSize, 0);
    for (std::uint32_t field = 1; field <= 8; ++field) PutLe32(record, 4 * field, field * 0x10);
    const auto layout = DecodeDramLayout(record);
    ASSERT_TRUE(layout);
    const auto locations = LogLocationsOf(*layout);
    EXPECT_EQ(locations.err_log_address, 0x50u);
    EXPECT_EQ(locations.err_log_size, 0x60u);
    EXPECT_EQ(locations.uart_log_address, 0x70u);
    EXPECT_EQ(locations.uart_log_size, 0x80u);

    const auto lines = DramLayoutDebugLines(*layout);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines.front(), "pDramLayoutInfo->SysInfoAddr = 10");
    EXPECT_EQ(lines.back(), "pDramLayoutInfo->DbgUartLogSize = 80");

    EXPECT_EQ(DecodeDramLayout(std::span(record).first(35)), std::nullopt);
}

TEST(DramLayout, RingAndErrorLogMustFitTheBuffer) {
    const std::size_t buffer = 131072;
    EXPECT_TRUE(LocationsFit(FixedLogLocations(), buffer));
    EXPECT_TRUE(LocationsFit({0, buffer, 0, buffer}, buffer));
    EXPECT_FALSE(LocationsFit({0, 0x800, 0, 0}, buffer));
    EXPECT_FALSE(LocationsFit({0, 0x800, 0, buffer + 1}, buffer));
    EXPECT_FALSE(LocationsFit({0, buffer + 1, 0, 0x2000}, buffer));
}

TEST(DbgErrLog, HeadMarkZeroStartsTheRingAtItsFirstByte) {
    Bytes record(2048, 0);
    PutLe32(record, 16, 0x1234);
    EXPECT_EQ(UartLogStart(DecodeDbgErrLog(record)), 0u);
    record[26] = 1;
    EXPECT_EQ(DecodeDbgErrLog(record).dwDbgLogIdx, 0x1234u);
    EXPECT_EQ(UartLogStart(DecodeDbgErrLog(record)), 0x1234u);
    // A record cut short reads as zeros.
    EXPECT_EQ(DecodeDbgErrLog(std::span(record).first(20)).dwDbgLogIdx, 0x1234u);
    EXPECT_EQ(DecodeDbgErrLog(std::span(record).first(20)).wDbgLogHeadMark, 0u);
}

TEST(UartRing, WithoutMarkerIsOneLineOfTheWholeRing) {
    const Bytes ring(300, 'a');
    const auto lines = UnrollUartLog(ring, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 300u);
}

TEST(UartRing, StartingWithAMarkerGivesAnEmptyFirstLine) {
    const auto ring = Join({Head(1, 2), Text("boot\r\n"), Head(12, 345), Text("ok")});
    EXPECT_EQ(UnrollUartLog(ring, 0), (Lines{"", "[0001, 0002]boot\r\n", "[0012, 0345]ok"}));
}

TEST(UartRing, UnrollsFromTheWritePositionOnceAround) {
    // The firmware wrote "new" last, over the start of the ring; "old" is the oldest entry.
    const auto ring = Join({Text("w"), Head(2, 0), Text("new"), Head(1, 0), Text("old")});
    const auto start = static_cast<std::uint32_t>(1 + 5 + 3);
    EXPECT_EQ(UnrollUartLog(ring, start), (Lines{"", "[0001, 0000]oldw", "[0002, 0000]new"}));
    // Each byte once: the walk ends where it began rather than reading the first byte again.
    std::size_t text_bytes = 0;
    for (const auto& line : UnrollUartLog(ring, start)) text_bytes += line.size();
    EXPECT_EQ(text_bytes, 4u + 3u + 2 * std::string("[0000, 0000]").size());
}

TEST(UartRing, StartBeyondTheRingIsTakenModuloItsSize) {
    const auto ring = Join({Text("ab"), Head(7, 8), Text("cd")});
    EXPECT_EQ(UnrollUartLog(ring, 9 + 2), UnrollUartLog(ring, 2));
}

TEST(UartRing, MarkerValuesNearTheEndComeFromTheRingsStart) {
    // The marker sits two bytes before the end; its values are bytes 7, 8 and then 0, 1.
    Bytes ring = Join({Bytes{0x05, 0x00}, Text("hello"), Bytes{kUartLogMarker, 0x09}});
    ring[7] = kUartLogMarker;
    ring[8] = 0x03;
    const auto lines = UnrollUartLog(ring, 0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("\x05", 1) + std::string(1, '\0') + "hello");
    // First value: byte 8 (03h) and byte 0 (05h); second: bytes 1 and 2.
    EXPECT_EQ(lines[1], "[1283, 26624]");
}

TEST(UartRing, EmptyRingGivesNoLine) {
    EXPECT_TRUE(UnrollUartLog({}, 5).empty());
}

}  // namespace
}  // namespace vt
