#include <algorithm>

#include "sim/drive_model.h"

namespace vt::sim {
namespace {

void Word(Bytes& data, std::size_t word, std::uint16_t value) {
    PutLe16(data, 2 * word, value);
}

std::string Padded(std::string text, std::size_t length) {
    text.resize(length, ' ');
    return text;
}

}  // namespace

Bytes BuildIdentify(const std::string& model, const std::string& serial,
                    const std::string& firmware, std::uint64_t sectors, std::uint16_t rotation) {
    Bytes data(512, 0);
    Word(data, 0, 0x0040);  // fixed device
    Word(data, 1, 16383);   // default cylinders, heads and sectors per track
    Word(data, 3, 16);
    Word(data, 6, 63);
    PutAtaString(data, 20, 20, serial);
    PutAtaString(data, 46, 8, firmware);
    PutAtaString(data, 54, 40, model);
    Word(data, 47, 0x8010);
    Word(data, 49, 0x2F00);  // LBA, DMA, IORDY
    Word(data, 53, 0x0007);
    const std::uint32_t lba28 =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, 0x0FFFFFFF));
    Word(data, 60, static_cast<std::uint16_t>(lba28));
    Word(data, 61, static_cast<std::uint16_t>(lba28 >> 16));
    Word(data, 63, 0x0007);
    Word(data, 64, 0x0003);
    Word(data, 80, 0x01F0);
    Word(data, 82, 0x746B);  // SMART and security supported
    Word(data, 83, 0x7D09);  // 48-bit addressing
    Word(data, 84, 0x4163);
    Word(data, 85, 0x7469);  // SMART enabled
    Word(data, 86, 0xBC01);
    Word(data, 87, 0x4163);
    Word(data, 88, 0x207F);  // UDMA 0-6 supported, mode 5 selected
    for (std::size_t i = 0; i < 4; ++i) {
        Word(data, 100 + i, static_cast<std::uint16_t>(sectors >> (16 * i)));
    }
    Word(data, 108, 0x5001);  // world wide name
    Word(data, 109, 0xB440);
    Word(data, 110, 0x0000);
    Word(data, 111, 0x0001);
    Word(data, 128, 0x0021);
    Word(data, 169, 0x0001);  // TRIM
    Word(data, 217, rotation);
    // Integrity word: signature A5h, and a checksum that makes all 512 bytes sum to 0.
    data[510] = 0xA5;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 511; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    data[511] = static_cast<std::uint8_t>(0x100 - sum);
    return data;
}

Bytes BuildAtaInquiry(const Bytes& identify) {
    Bytes data(96, 0);
    data[2] = 0x05;  // SPC-3
    data[3] = 0x02;
    data[4] = 91;
    PutText(data, 8, "ATA     ");
    // The strings come from IDENTIFY, whose byte pairs are swapped.
    for (std::size_t i = 0; i < 16; ++i)
        data[16 + i] = identify.size() > 54 + 16 ? identify[54 + (i ^ 1)] : ' ';
    for (std::size_t i = 0; i < 4; ++i)
        data[32 + i] = identify.size() > 46 + 8 ? identify[46 + 4 + (i ^ 1)] : ' ';
    return data;
}

Bytes BuildBridgeInquiry(const std::string& vendor, const std::string& product,
                         const std::string& tag) {
    Bytes data(96, 0);
    data[2] = 0x06;
    data[3] = 0x02;
    data[4] = 91;
    PutText(data, 8, Padded(vendor, 8));
    PutText(data, 16, Padded(product, 16));
    PutText(data, 32, "0100");
    Bytes tag_bytes(tag.begin(), tag.end());
    tag_bytes.resize(4, 0);
    std::copy(tag_bytes.begin(), tag_bytes.end(), data.begin() + 36);
    return data;
}

}  // namespace vt::sim
