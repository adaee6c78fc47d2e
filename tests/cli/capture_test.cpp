// vtutil capture end to end: drives of every kind captured, the capture opened in the drive's
// place, and the window reading the same on both.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>

#include "report/identify_texts.h"
#include "sim/bench_writer.h"
#include "sim/json_reader.h"

#include "tests/cli/run_vtutil.h"

namespace vt {
namespace {

using nlohmann::json;

using test::Run;
using test::Vtutil;

class Scratch {
  public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "capture-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~Scratch() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

json ReadJson(const std::string& path) {
    std::ifstream in(path);
    return json::parse(in, nullptr, false);
}

json WithoutComment(json document) {
    document.erase("comment");
    return document;
}

// The window after its start-up: the scan's list.
json StartWindow(const std::string& source) {
    return json::parse(Vtutil(source + " window --json").out, nullptr, false);
}

// The window after selecting the drive and reading S.M.A.R.T. (the refresh reads the firmware log
// where there is one). The device list shows every disk of the bench and the carrier mode is what
// the scan of the last disk left, so those two differ by nature between a bench and one capture.
json Window(const std::string& source, int row, const std::string& extra = "") {
    json window = json::parse(Vtutil(source + " window --select " + std::to_string(row) +
                                     " --click GetSmartInfoBn " + extra + " --json")
                                  .out,
                              nullptr, false);
    if (!window.is_object()) return window;
    window["controls"].erase("ListView1");
    window["controls"].erase("DeviceList");
    window["state"].erase("CurrentDevice");
    window["state"].erase("CarrierMode");
    return window;
}

// Captures the drive of `row`, compares the windows, and captures the capture.
void RoundTrip(const Scratch& dir, const std::string& source, int row,
               const std::string& capture_extra = "", const std::string& window_extra = "") {
    SCOPED_TRACE(source + " row " + std::to_string(row));
    const std::string file = dir.File("row" + std::to_string(row) + ".json");
    // DEVICE: the row's number in the Disk column.
    const std::string disk = StartWindow(source)["controls"]["ListView1"]["rows"][row][0];
    ASSERT_EQ(Vtutil(source + " capture " + disk + " -o " + file + " " + capture_extra).status, 0);
    const json original = Window(source, row, window_extra);
    ASSERT_TRUE(original.is_object());
    EXPECT_EQ(Window("--bench " + file, 0, window_extra), original);

    const std::string again = dir.File("again" + std::to_string(row) + ".json");
    ASSERT_EQ(Vtutil("--bench " + file + " capture 1 -o " + again + " " + capture_extra).status, 0);
    EXPECT_EQ(WithoutComment(ReadJson(again)), WithoutComment(ReadJson(file)));
}

std::string WriteBench(const Scratch& dir, const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    std::ofstream(path) << text;
    return path;
}

TEST(Capture, EveryDriveOfTheDemoReplays) {
    const Scratch dir;
    std::ofstream(dir.File("GDP.bin"), std::ios::binary) << std::string(4096, '\x11');
    for (int row : {0, 1, 2, 4}) RoundTrip(dir, "--demo", row);
    // The drive in its loader: the firmware log comes from its serial flash through the program.
    RoundTrip(dir, "--demo", 3, "--gdp " + dir.File("GDP.bin"),
              "--program-dir " + dir.path() + " --click ReadFwDebugMsgGDP");
    const json loader = ReadJson(dir.File("row3.json"))["drives"][0];
    EXPECT_EQ(loader["mode"], "loader");
    EXPECT_TRUE(loader.contains("spi_flash"));
    EXPECT_TRUE(loader.contains("loader_identify"));
    EXPECT_FALSE(loader.contains("memory"));  // the program the capture loaded is not the drive's
    EXPECT_FALSE(Window("--bench " + dir.File("row3.json"), 0,
                        "--program-dir " + dir.path() +
                            " --click ReadFwDebugMsgGDP")["controls"]["UartLogMemo"]["lines"]
                     .empty());

    // Disks the list leaves out carry what the scan read: the older bridge keeps its line.
    ASSERT_EQ(Vtutil("--demo capture usb:/dev/sdf -o " + dir.File("older.json")).status, 0);
    const json lines =
        StartWindow("--bench " + dir.File("older.json"))["controls"]["DeviceList"]["lines"];
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "<< USB >>  Vantrel FK1X Flash Disk");
    ASSERT_EQ(Vtutil("--demo capture /dev/sdd -o " + dir.File("other.json")).status, 0);
    const json other = ReadJson(dir.File("other.json"))["drives"][0];
    EXPECT_FALSE(other.contains("vendor"));  // nothing asked it
    EXPECT_TRUE(other.contains("identify"));
}

TEST(Capture, ControllerModelsBusesAndTableLayouts) {
    const Scratch dir;
    const std::string bench = WriteBench(dir, "models.json", R"({"drives": [
      {"bus": "ide", "model": "K38", "build": "3", "revision": "42",
       "uart_log": {"location": "fixed", "size": 2048, "wrapped": false}},
      {"bus": "sbp2", "model": "K35", "build": "2", "channels": 2, "banks": 1,
       "bad_blocks": {"random": {"factory": 4, "early": 2, "later": 3, "seed": 5}}},
      {"bus": "other", "model": "K34", "flash": {"vendor": "Samsung", "sectors_per_page": 8}},
      {"bus": "scsi", "model": "K39", "flash": {"vendor": "Toshiba"}, "config_bit5": true,
       "features": [4, 5, 9]},
      {"bus": "ide", "model": "K12", "fw_variant": "01", "channels": 2, "banks": 2,
       "bad_blocks": {"later": [{"channel": 1, "ce": 1, "unit": 40, "type": "prog_fail"}]}},
      {"bus": "usb", "model": "K14", "bridge_tag": "q701", "table_flags": 4, "channels": 2},
      {"bus": "usb", "model": "K38", "build": "3", "bridge_tag": "q703", "spi_logs": true,
       "stale_system_blocks": [0, 1]}
    ]})");
    // The disk on no known bus is not listed.
    ASSERT_EQ(StartWindow("--bench " + bench)["controls"]["ListView1"]["rows"].size(), 6u);
    for (int row = 0; row < 6; ++row) RoundTrip(dir, "--bench " + bench, row);
    // The tool sends nothing to a disk on no known bus: there is nothing to capture.
    EXPECT_EQ(Vtutil("--bench " + bench + " capture /dev/sdc -o " + dir.File("other.json")).status,
              3);
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.json")));
}

TEST(Capture, AFailedReadFailsAgainOnReplay) {
    const Scratch dir;
    const std::string bench = WriteBench(dir, "faults.json", R"({"drives": [
      {"bus": "ide", "model": "K38", "build": "3", "uart_log": true, "faults": [
        {"op": "vendor:86", "skip": 1, "count": 1, "effect": "fail"},
        {"op": "vendor:01", "skip": 2, "count": 1, "effect": "timeout"},
        {"op": "ata:B0", "skip": 2, "effect": "fail"}]},
      {"bus": "usb", "model": "K14", "faults": [{"op": "vendor:04", "skip": 3, "effect": "gone"}]},
      {"bus": "ide", "model": "K12", "faults": [
        {"op": "ata:86", "skip": 6, "count": 2, "effect": "fail"},
        {"op": "ata:8A", "skip": 6, "count": 2, "effect": "fail"},
        {"op": "ata:C4", "skip": 6, "count": 2, "effect": "fail"}]}
    ]})");
    RoundTrip(dir, "--bench " + bench, 0);
    RoundTrip(dir, "--bench " + bench, 1);
    RoundTrip(dir, "--bench " + bench, 2);
    // A failed data phase is kept as its vendor command, whichever carrier the scan chose.
    const json carried = ReadJson(dir.File("row2.json"))["drives"][0]["faults"];
    ASSERT_FALSE(carried.empty());
    for (const auto& fault : carried)
        EXPECT_EQ(fault["op"].get<std::string>().rfind("vendor:", 0), 0u) << fault;
    const json faults = ReadJson(dir.File("row0.json"))["drives"][0]["faults"];
    EXPECT_EQ(faults, json::parse(R"([
      {"op": "vendor:86", "skip": 1, "count": 1, "effect": "fail"},
      {"op": "vendor:01", "skip": 2, "count": 1, "effect": "timeout"},
      {"op": "ata:B0", "skip": 2, "count": 1, "effect": "fail"}])"));
    const json gone = ReadJson(dir.File("row1.json"))["drives"][0]["faults"];
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0]["effect"], "gone");
    // The failed S.M.A.R.T. thresholds left the page empty on both.
    EXPECT_EQ(
        Window("--bench " + dir.File("row0.json"), 0)["controls"]["StringGrid1"]["cells"][1][0],
        "");
}

TEST(Capture, RedactReplacesSerialsAndKeepsTheChecksum) {
    const Scratch dir;
    const std::string bench = WriteBench(dir, "serials.json", R"({"drives": [
      {"bus": "ide", "model": "K38", "serial": "SECRET0001"},
      {"bus": "usb", "model": "K35", "serial": "SECRET0002",
       "memory": {"3:242": "1603 5300 4500 4300 5200 4500 5400 3000 3000 3000 3300"}}
    ]})");
    for (int row : {0, 1}) {
        const std::string file = dir.File("redacted" + std::to_string(row) + ".json");
        ASSERT_EQ(Vtutil("--bench " + bench + " capture " + std::to_string(row + 1) +
                         " --redact -o " + file)
                      .status,
                  0);
        const auto rows = StartWindow("--bench " + file)["controls"]["ListView1"]["rows"];
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][2], "REDACTED");
        // IDENTIFY word 255: the sum of all 512 bytes is 0 modulo 256.
        const auto identify =
            sim::ReadBlob(json(ReadJson(file)["drives"][0]["identify"]), "identify", ".");
        ASSERT_EQ(identify.size(), 512u);
        EXPECT_EQ(identify[510], 0xA5);
        EXPECT_EQ(std::accumulate(identify.begin(), identify.end(), 0u) & 0xFF, 0u);
        ASSERT_EQ(Vtutil("--bench " + file + " capture 1 --redact -o " + dir.File("x.json")).status,
                  0);
        EXPECT_EQ(WithoutComment(ReadJson(dir.File("x.json"))), WithoutComment(ReadJson(file)));
    }
    // The bridge's USB serial: a string descriptor in its configuration (loader block byte 242).
    const json memory = ReadJson(dir.File("redacted1.json"))["drives"][0]["memory"]["3:0x0"];
    const auto block = sim::ReadBlob(json(memory), "memory", ".");
    ASSERT_GT(block.size(), 262u);
    EXPECT_EQ(block[242], 22);
    EXPECT_EQ(block[243], 0x03);
    std::string serial;
    for (std::size_t i = 244; i < 264; i += 2) serial += static_cast<char>(block[i]);
    EXPECT_EQ(serial, "REDACTED00");
}

// A bridge's USB serial in every copy of the loader block, as odd as the Device Info page still
// reads it: a length past the descriptor's room, a type that is not 03h, a first copy the flash
// read passes over and the odd block's copy behind it.
TEST(Capture, RedactTakesTheUsbSerialWhereverThePageWouldReadIt) {
    const Scratch dir;
    const std::string bench = WriteBench(dir, "usb.json", R"({"drives": [
      {"bus": "usb", "model": "K35", "system_blocks": [16, 17, 40, 41]}]})");
    ASSERT_EQ(Vtutil("--bench " + bench + " capture 1 -o " + dir.File("plain.json")).status, 0);
    json document = ReadJson(dir.File("plain.json"));
    json& drive = document["drives"][0];
    const auto serial = [](const std::string& text, std::uint8_t length, std::uint8_t type) {
        sim::Bytes descriptor{length, type};
        for (const char c : text) descriptor.insert(descriptor.end(), {std::uint8_t(c), 0});
        return descriptor;
    };
    const auto blob = [](const sim::Bytes& bytes) {
        return json::parse(sim::BlobJson(bytes).dump());
    };
    const auto put = [](sim::Bytes& bytes, std::size_t at, const sim::Bytes& part) {
        if (bytes.size() < at + part.size()) bytes.resize(at + part.size());
        std::copy(part.begin(), part.end(), bytes.begin() + at);
    };
    sim::Bytes memory = sim::ReadBlob(json(drive["memory"]["3:0x0"]), "memory", ".");
    sim::Bytes copy = memory;
    put(memory, 242, serial("SECRET0002MEM", 0x7E, 0x03));
    // Block 16's copy has lost its signature, so the read goes on to block 17, the second of the
    // pair, whose page lies 32 x 4096 bytes further on in the same answer.
    sim::Bytes pages;
    put(copy, 242, serial("SECRET0002EVEN", 0x16, 0x09));
    copy[0] ^= 0xFF;
    put(pages, 0, copy);
    copy[0] ^= 0xFF;
    put(copy, 242, serial("SECRET0002ODDBLOCK", 0x7E, 0x00));
    put(pages, 32 * 4096, copy);
    drive["memory"]["3:0x0"] = blob(memory);
    drive["system_pages"]["0:8:0"] = blob(pages);
    std::ofstream(dir.File("secret.json")) << document.dump();

    ASSERT_EQ(Vtutil("--bench " + dir.File("secret.json") + " capture 1 --redact -o " +
                     dir.File("redacted.json"))
                  .status,
              0);
    const json redacted = ReadJson(dir.File("redacted.json"))["drives"][0];
    const auto shown = [](const sim::Bytes& bytes, std::size_t at) {
        UsbIdentity identity;
        DecodeUsbConfig(std::span(bytes).subspan(at), identity);
        return identity.serial;
    };
    const auto images = sim::ReadBlob(json(redacted["system_pages"]["0:8:0"]), "pages", ".");
    EXPECT_EQ(shown(sim::ReadBlob(json(redacted["memory"]["3:0x0"]), "memory", "."), 0),
              "REDACTED00000");
    EXPECT_EQ(shown(images, 0), "REDACTED00");
    EXPECT_EQ(shown(images, 32 * 4096), "REDACTED0000000000");
    // Nothing of the serial is left in any form: "SECRET" as UTF-16 units.
    std::ifstream in(dir.File("redacted.json"));
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(text.find("530045004300520045005400"), std::string::npos);
}

TEST(Capture, ExitStatuses) {
    const Scratch dir;
    EXPECT_EQ(Vtutil("--demo capture 9 -o " + dir.File("x.json")).status, 2);
    EXPECT_EQ(Vtutil("--demo capture 1").status, 1);
    EXPECT_EQ(Vtutil("--demo capture 1 -o " + dir.File("missing/x.json")).status, 5);
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
    EXPECT_EQ(Vtutil("--demo capture 4 --gdp " + dir.File("none.bin") + " -o " + dir.File("x.json"))
                  .status,
              5);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.json")));
}

}  // namespace
}  // namespace vt
