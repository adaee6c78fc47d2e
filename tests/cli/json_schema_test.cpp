// Every document vtutil prints, checked against its JSON Schema by the real validator
// (python3-jsonschema), and the numbers of the documents checked against the drive's bytes.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/run_vtutil.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using test::Run;
using test::Vtutil;

const std::string kSchemaDir = std::string(VT_SOURCE_DIR) + "/docs/schema";
// Debian's interpreter, not whichever python comes first on PATH: the validator is the one
// scripts/install-deps.sh installs.
constexpr const char* kPython = "/usr/bin/python3";

struct Validation {
    int status = -1;
    std::string output;
};

// Runs the validator once over all the documents of one schema.
Validation Validate(const std::string& schema, const std::vector<std::string>& documents,
                    const test::ScopedTempDir& dir) {
    std::string command =
        std::string(kPython) + " -m jsonschema --base-uri file://" + kSchemaDir + "/ -o pretty";
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const std::string file = dir.File(schema + "-" + std::to_string(i) + ".json");
        std::ofstream(file) << documents[i];
        command += " -i " + file;
    }
    command += " " + kSchemaDir + "/" + schema + ".schema.json 2>&1";
    Validation result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        result.output.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The documents of one run of the tests, grouped by the schema that describes them.
class Documents {
  public:
    // Runs vtutil; its output must be one JSON document, an error document exactly when it
    // failed, whose exit_status is the process's.
    nlohmann::json Add(const std::string& schema, const std::string& arguments) {
        const Run run = Vtutil(arguments + " --json");
        const auto json = nlohmann::json::parse(run.out, nullptr, false);
        EXPECT_TRUE(json.is_object()) << arguments << ": " << run.out;
        if (!json.is_object()) return json;
        EXPECT_EQ(json.contains("error"),
                  run.status != 0 && !json.contains("passed") && !json.contains("notices"))
            << arguments;
        if (json.contains("error")) {
            EXPECT_EQ(json["error"]["exit_status"], run.status) << arguments;
        }
        by_schema_[schema].push_back(run.out);
        return json;
    }

    void ValidateAll() {
        test::ScopedTempDir dir;
        for (const auto& [schema, documents] : by_schema_) {
            const auto result = Validate(schema, documents, dir);
            EXPECT_EQ(result.status, 0) << schema << ":\n" << result.output;
        }
    }

  private:
    std::map<std::string, std::vector<std::string>> by_schema_;
};

const char* const kPages[] = {"info",  "ssd-info", "erase-count", "bad-blocks",
                              "smart", "uart-log", "config-dump"};

void AddEveryCommand(Documents& documents, const std::string& bench, std::size_t drives,
                     const test::ScopedTempDir& dir) {
    documents.Add("list", bench + " list");
    documents.Add("probe", bench + " probe");
    // One past the last drive: the "no such device" document.
    for (std::size_t drive = 1; drive <= drives + 1; ++drive) {
        const std::string number = std::to_string(drive);
        for (const char* page : kPages) documents.Add(page, bench + " " + page + " " + number);
        documents.Add("dump-info",
                      bench + " dump-info " + number + " d" + number + " --dir " + dir.path());
        documents.Add("raw-dump", bench + " raw-dump " + number + " " + dir.File("raw" + number));
        documents.Add("rwtest", bench + " rwtest " + number + " --yes");
        documents.Add("rwtest", bench + " rwtest " + number);  // refused without --yes
        documents.Add("capture",
                      bench + " capture " + number + " -o " + dir.File("capture" + number));
    }
    documents.Add("decode-log", bench + " decode-log " + dir.File("no-such.log"));
}

TEST(JsonSchema, TheValidatorIsTheRealOne) {
    ASSERT_EQ(std::system((std::string(kPython) + " -c 'import jsonschema' 2>/dev/null").c_str()),
              0)
        << "python3-jsonschema is missing: run scripts/install-deps.sh";
    test::ScopedTempDir dir;
    // A wrong type, a missing key and an unknown key each fail.
    auto smart = nlohmann::json::parse(Vtutil("--demo smart 1 --json").out);
    ASSERT_EQ(Validate("smart", {smart.dump()}, dir).status, 0);
    auto wrong = smart;
    wrong["page"]["attributes"][0]["value"] = "64";
    EXPECT_NE(Validate("smart", {wrong.dump()}, dir).status, 0);
    wrong = smart;
    wrong["device"].erase("serial");
    EXPECT_NE(Validate("smart", {wrong.dump()}, dir).status, 0);
    wrong = smart;
    wrong["page"]["attributes"][0]["Raw Value"] = 1;
    EXPECT_NE(Validate("smart", {wrong.dump()}, dir).status, 0);
}

TEST(JsonSchema, EveryDocumentOfTheDemoBenchAndTheShippedBench) {
    test::ScopedTempDir dir;
    Documents documents;
    const auto list = nlohmann::json::parse(Vtutil("--demo list --json").out);
    AddEveryCommand(documents, "--demo", list["rows"].size(), dir);
    const std::string shipped =
        std::string("--bench ") + VT_SOURCE_DIR + "/sim/benches/two-drives.json";
    AddEveryCommand(documents, shipped, 2, dir);
    documents.Add("list", "--bench " + dir.File("missing.json") + " list");
    {
        std::FILE* log = std::fopen(dir.File("uart.log").c_str(), "wb");
        ASSERT_NE(log, nullptr);
        std::fputs("[0001, 0002]SATA: link up\n", log);
        std::fclose(log);
    }
    documents.Add("decode-log", "decode-log " + dir.File("uart.log"));
    documents.ValidateAll();
}

// A drive whose pages take the other forms: blocks instead of block pairs, remaps with their
// relation, bad units of every error type, a bridge drive with a Latin-1 serial.
TEST(JsonSchema, EveryDocumentOfTheTestBenches) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("forms.json")) << R"({"drives": [
        {"bus": "ide", "model": "K38", "build": "3", "revision": "43", "table_flags": 4,
         "features": [4, 5],
         "bad_blocks": {"factory": [{"channel": 0, "ce": 0, "block": 5}],
                        "early": [{"channel": 1, "ce": 0, "unit": 9}],
                        "later": [{"channel": 0, "ce": 0, "unit": 20, "type": "ecc_over", "remap_to": 900},
                                  {"channel": 0, "ce": 1, "unit": 21, "type": "prog_fail"},
                                  {"channel": 1, "ce": 1, "unit": 22, "type": "erase_fail"},
                                  {"channel": 1, "ce": 0, "unit": 23, "type": 7}]}},
        {"bus": "ide", "model": "K35", "build": "2", "revision": "18",
         "bad_blocks": {"random": {"factory": 9, "early": 3, "later": 6, "seed": 11}}},
        {"bus": "usb", "model": "K38", "build": "3", "revision": "43"}]})";
    Documents documents;
    AddEveryCommand(documents, "--bench " + dir.File("forms.json"), 3, dir);
    documents.ValidateAll();
}

// The page's numbers are the drive's bytes: hex cells with letters and with digits only, flags
// with their high bits set, raw values of all six bytes.
TEST(JsonSchema, SmartNumbersAreTheBytes) {
    struct Entry {
        std::uint8_t id;
        std::uint16_t flags;
        std::uint8_t value, worst, threshold;
        std::array<std::uint8_t, 6> raw;  // least significant first
    };
    const std::vector<Entry> entries = {
        {0x09, 0x0032, 0x64, 0x64, 0x19, {0x10, 0x27, 0, 0, 0, 0}},
        {0x0C, 0xC032, 0x0A, 0x09, 0x00, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0xC2, 0x8001, 0xFF, 0xAB, 0x99, {0x28, 0, 0x14, 0, 0x46, 0}},
        {0xA9, 0xFFFF, 0x01, 0x00, 0xFE, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},
        {0xF1, 0x4000, 0x99, 0x10, 0x0F, {0x00, 0x00, 0x00, 0x00, 0x00, 0x80}},
        {0x7E, 0x0100, 0x55, 0x44, 0x33, {0xEF, 0xBE, 0xAD, 0xDE, 0, 0}},  // no name: no grid row
    };
    std::string data = "1000", thresholds = "1000";
    const auto hex = [](unsigned byte) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", byte);
        return std::string(text);
    };
    for (const auto& e : entries) {
        data += hex(e.id) + hex(e.flags & 0xFF) + hex(e.flags >> 8) + hex(e.value) + hex(e.worst);
        for (const auto b : e.raw) data += hex(b);
        data += "00";
        thresholds += hex(e.id) + hex(e.threshold) + std::string(20, '0');
    }
    test::ScopedTempDir dir;
    std::ofstream(dir.File("smart.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "smart_code": "0000", "smart_data": ")"
        << data << R"(", "smart_thresholds": ")" << thresholds << R"("}]})";
    Documents documents;
    const auto json = documents.Add("smart", "--bench " + dir.File("smart.json") + " smart 1");
    documents.ValidateAll();
    const auto& attributes = json["page"]["attributes"];
    ASSERT_EQ(attributes.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        const auto& a = attributes[i];
        std::uint64_t raw = 0;
        for (std::size_t b = 6; b-- > 0;) raw = raw << 8 | e.raw[b];
        EXPECT_EQ(a["id"], e.id) << i;
        EXPECT_EQ(a["flags"], e.flags) << i;
        EXPECT_EQ(a["value"], e.value) << i;
        EXPECT_EQ(a["worst"], e.worst) << i;
        EXPECT_EQ(a["threshold"], e.threshold) << i;
        EXPECT_EQ(a["raw"], raw) << i;
        std::string raw_hex;
        for (std::size_t b = 6; b-- > 0;) raw_hex += hex(e.raw[b]) + (b ? " " : "");
        EXPECT_EQ(a["raw_hex"], raw_hex) << i;
    }
    EXPECT_EQ(attributes[0]["name"], "Power-on Hours Count");
    EXPECT_TRUE(attributes[5]["name"].is_null());
    const auto& derived = json["page"]["derived"];
    EXPECT_EQ(derived["power_on_hours"], 10000);
    // The whole raw counter, as the reset's report has it (the document once gave its low word).
    EXPECT_EQ(derived["power_cycle_count"], 0xFFFFFFFFFFFFull);
    EXPECT_EQ(derived["temperature_celsius"], 40);
    EXPECT_EQ(derived["temperature_min_celsius"], 20);
    EXPECT_EQ(derived["temperature_max_celsius"], 70);
    EXPECT_EQ(derived["later_bad_count"], 0x0605);
    EXPECT_TRUE(derived["erase_count"].is_null());
    EXPECT_EQ(json["page"]["revision"]["major"], 16);
    // The text report is the grid's: the same cells in hex.
    const auto text = Vtutil("--bench " + dir.File("smart.json") + " smart 1").out;
    EXPECT_NE(text.find("0C  Drive Power Cycle Count        C032    0A     09      00      "
                        "FF FF FF FF FF FF"),
              std::string::npos)
        << text;
}

// An IDENTIFY string field in ATA byte order (two characters per word, the first in the high
// byte), padded with blanks, as hex digits.
std::string AtaStringHex(const std::string& text, std::size_t length) {
    std::string padded = text;
    padded.resize(length, ' ');
    std::string hex;
    for (std::size_t i = 0; i < length; i += 2) {
        for (const char c : {padded[i + 1], padded[i]}) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
            hex += digits;
        }
    }
    return hex;
}

// Drive texts are Latin-1 bytes; the documents hold them as UTF-8, trimmed.
TEST(JsonSchema, DriveTextsAreTrimmedUtf8) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("latin1.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "identify": {"size": 512, "patches": [)"
        << R"({"at": 20, "hex": ")"
        << AtaStringHex(
               "  SN\xB0"
               "001",
               20)
        << R"("},)"
        << R"({"at": 54, "hex": ")" << AtaStringHex(" Vantrel \xC9t\xE9", 40) << R"("},)"
        << R"({"at": 120, "hex": "00100000"}, {"at": 434, "hex": "0100"}]}}]})";
    Documents documents;
    const std::string bench = "--bench " + dir.File("latin1.json");
    const auto info = documents.Add("info", bench + " info 1");
    const auto list = documents.Add("list", bench + " list");
    documents.ValidateAll();
    EXPECT_EQ(info["page"]["model"], "Vantrel \u00c9t\u00e9");
    EXPECT_EQ(info["device"]["model"], "Vantrel \u00c9t\u00e9");
    EXPECT_EQ(info["page"]["serial"],
              "SN\u00b0"
              "001");
    ASSERT_FALSE(list["rows"].empty());
    EXPECT_EQ(list["rows"][0]["serial"],
              "SN\u00b0"
              "001");
    EXPECT_EQ(info["page"]["capacity_sectors"], 0x1000);
    EXPECT_EQ(info["page"]["capacity_bytes"], 0x1000 * 512);
}

}  // namespace
}  // namespace vt
