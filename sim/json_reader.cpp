#include "sim/json_reader.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "platform/files.h"

namespace vt::sim {
namespace {

using nlohmann::json;

// A value from the file quoted into a message: cut, so that a huge value cannot flood it.
std::string Quoted(std::string_view text) {
    constexpr std::size_t kShown = 40;
    if (text.size() > kShown) return "\"" + std::string(text.substr(0, kShown)) + "...\"";
    return "\"" + std::string(text) + "\"";
}

thread_local std::size_t* blob_total = nullptr;

void ChargeBlob(std::size_t size, const std::string& key) {
    if (blob_total == nullptr) return;
    if (size > kMaxBlobBytesTotal - *blob_total) {
        Refuse(key, "the blobs of the bench file together exceed the limit of " +
                        std::to_string(kMaxBlobBytesTotal) + " bytes");
    }
    *blob_total += size;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Bytes ParseHex(std::string_view text, const std::string& key) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int digit = HexDigit(c);
        if (digit < 0) Refuse(key, "not hexadecimal: the character " + Quoted(std::string(1, c)));
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) Refuse(key, "not hexadecimal: an odd number of digits");
    return bytes;
}

Bytes ReadFileBytes(const json& value, const std::string& key,
                    const std::filesystem::path& base_dir) {
    const std::string name = ReadString(value, key);
    const std::filesystem::path path = base_dir / name;
    std::string error;
    auto bytes = platform::ReadFileBytes(path.string(), kMaxBlobSize, error);
    if (!bytes) Refuse(key, "cannot read the file \"" + path.string() + "\": " + error);
    return std::move(*bytes);
}

// The bytes of a "hex" or "ascii" member (exactly one of them).
Bytes ReadContent(const json& object, const std::string& key) {
    const bool hex = object.contains("hex");
    const bool ascii = object.contains("ascii");
    if (hex && ascii) Refuse(key, "give either hex or ascii, not both");
    if (hex) return ParseHex(ReadString(object["hex"], key + ".hex"), key + ".hex");
    if (ascii) {
        const std::string text = ReadString(object["ascii"], key + ".ascii");
        return Bytes(text.begin(), text.end());
    }
    return {};
}

// Builds a bench document from the reader's events, refusing a key given twice (the reader would
// keep the last), nesting past kMaxJsonDepth and more than kMaxJsonValues values as they arrive.
// Each value is placed once, so the time is linear in the text; the reader's own callback interface
// searched the enclosing list after every object, which made long lists of objects quadratic.
class DocumentBuilder {
  public:
    explicit DocumentBuilder(json& root) : root_(root) {}

    bool null() { return Place(nullptr) != nullptr; }
    bool boolean(bool value) { return Place(value) != nullptr; }
    bool number_integer(json::number_integer_t value) { return Place(value) != nullptr; }
    bool number_unsigned(json::number_unsigned_t value) { return Place(value) != nullptr; }
    bool number_float(json::number_float_t value, const json::string_t&) {
        return Place(value) != nullptr;
    }
    bool string(json::string_t& value) { return Place(std::move(value)) != nullptr; }
    bool binary(json::binary_t& value) { return Place(json::binary(std::move(value))) != nullptr; }
    bool start_object(std::size_t) {
        open_.push_back(Place(json::object()));
        return true;
    }
    bool key(json::string_t& name) {
        CheckDepth();
        json& object = *open_.back();
        if (object.contains(name)) Refuse(name.substr(0, 40), "duplicate key");
        member_ = &object[name];
        return true;
    }
    bool end_object() {
        open_.pop_back();
        return true;
    }
    bool start_array(std::size_t) {
        open_.push_back(Place(json::array()));
        return true;
    }
    bool end_array() {
        open_.pop_back();
        return true;
    }
    // Keeps the error's own type: a parse error, or out_of_range for a number past every type.
    template <typename Error>
    bool parse_error(std::size_t, const std::string&, const Error& error) {
        throw error;
    }

  private:
    json& root_;
    std::vector<json*> open_;  // the objects and lists being filled, innermost last
    json* member_ = nullptr;   // where the value of the object's latest key goes
    std::size_t values_ = 0;

    void CheckDepth() const {
        if (open_.size() >= kMaxJsonDepth) {
            Refuse("document", "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        }
    }
    json* Place(json&& value) {
        CheckDepth();
        // A value takes up to a hundred bytes held against the few of its text.
        if (++values_ > kMaxJsonValues) {
            Refuse("document", "more than " + std::to_string(kMaxJsonValues) + " values");
        }
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        *member_ = std::move(value);
        return member_;
    }
};

}  // namespace

void Refuse(const std::string& key, const std::string& problem) {
    throw BenchError{key, problem};
}

std::uint64_t ParseNumber(std::string_view text, const std::string& key, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) Refuse(key, "not a number");
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || digit >= base) Refuse(key, "not a number: " + Quoted(text));
        if (value > (UINT64_MAX - static_cast<std::uint64_t>(digit)) / base) {
            Refuse(key, "number too large");
        }
        value = value * base + static_cast<std::uint64_t>(digit);
    }
    if (value > max) Refuse(key, "number too large (at most " + std::to_string(max) + ")");
    return value;
}

std::uint64_t ReadInteger(const json& value, const std::string& key, std::uint64_t max) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > max) Refuse(key, "number too large (at most " + std::to_string(max) + ")");
        return number;
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number < 0) Refuse(key, "negative number");
        if (static_cast<std::uint64_t>(number) > max) {
            Refuse(key, "number too large (at most " + std::to_string(max) + ")");
        }
        return static_cast<std::uint64_t>(number);
    }
    if (value.is_string()) return ParseNumber(value.get<std::string>(), key, max);
    // Past 64 bits the JSON reader keeps a whole number as a floating-point one.
    if (value.is_number_float() && value.get<double>() >= 18446744073709551616.0) {
        Refuse(key, "number too large (at most " + std::to_string(max) + ")");
    }
    Refuse(key, "expected a whole number");
}

std::string ReadString(const json& value, const std::string& key) {
    if (!value.is_string()) Refuse(key, "expected a string");
    return value.get<std::string>();
}

bool ReadBool(const json& value, const std::string& key) {
    if (!value.is_boolean()) Refuse(key, "expected true or false");
    return value.get<bool>();
}

std::string ReadChoice(const json& value, const std::string& key,
                       std::initializer_list<std::string_view> choices) {
    const std::string word = value.is_string() ? Quoted(value.get<std::string>())
                                               : std::string("of type ") + value.type_name();
    for (const auto choice : choices) {
        if (value.is_string() && value.get<std::string>() == choice) return std::string(choice);
    }
    std::string list;
    for (const auto choice : choices) list += (list.empty() ? "" : ", ") + Quoted(choice);
    Refuse(key, "unknown value " + word + " (expected one of " + list + ")");
}

std::vector<std::uint64_t> SplitNumbers(const std::string& text, std::size_t parts,
                                        const std::string& key, std::uint64_t max) {
    std::vector<std::uint64_t> numbers;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        const std::string part =
            text.substr(start, colon == std::string::npos ? colon : colon - start);
        numbers.push_back(ParseNumber(part, key, max));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (numbers.size() != parts) {
        Refuse(key, "expected " + std::to_string(parts) + " numbers separated by colons");
    }
    return numbers;
}

void CheckKeys(const json& object, const std::string& key,
               std::initializer_list<std::string_view> allowed) {
    for (const auto& item : object.items()) {
        const std::string& name = item.key();
        if (name == "comment" || (!name.empty() && name[0] == '_')) continue;
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            Refuse(key.empty() ? name : key + "." + name, "unknown key");
        }
    }
}

const json& RequireObject(const json& value, const std::string& key) {
    if (!value.is_object()) Refuse(key, "expected an object");
    return value;
}

const json& RequireArray(const json& value, const std::string& key) {
    if (!value.is_array()) Refuse(key, "expected a list");
    return value;
}

Bytes ReadBlob(const json& value, const std::string& key, const std::filesystem::path& base_dir) {
    if (value.is_string()) return ParseHex(value.get<std::string>(), key);
    if (!value.is_object()) Refuse(key, "expected a hex string or a blob object");
    CheckKeys(value, key, {"size", "fill", "hex", "ascii", "file", "patches"});

    Bytes content;
    if (value.contains("file")) {
        if (value.contains("hex") || value.contains("ascii")) {
            Refuse(key, "give one of hex, ascii and file");
        }
        content = ReadFileBytes(value["file"], key + ".file", base_dir);
    } else {
        content = ReadContent(value, key);
    }

    std::uint8_t fill = 0;
    if (value.contains("fill")) {
        const Bytes fill_bytes = ParseHex(ReadString(value["fill"], key + ".fill"), key + ".fill");
        if (fill_bytes.size() != 1) Refuse(key + ".fill", "expected one byte as two hex digits");
        fill = fill_bytes[0];
    }

    struct Patch {
        std::size_t at;
        Bytes bytes;
    };
    std::vector<Patch> patches;
    std::size_t patch_end = 0;
    if (value.contains("patches")) {
        const auto& list = RequireArray(value["patches"], key + ".patches");
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = key + ".patches[" + std::to_string(i) + "]";
            const auto& patch = RequireObject(list[i], where);
            CheckKeys(patch, where, {"at", "hex", "ascii"});
            if (!patch.contains("at")) Refuse(where + ".at", "missing");
            const auto at = ReadInteger(patch["at"], where + ".at", kMaxBlobSize);
            Bytes bytes = ReadContent(patch, where);
            patch_end =
                std::max<std::size_t>(patch_end, static_cast<std::size_t>(at) + bytes.size());
            patches.push_back({static_cast<std::size_t>(at), std::move(bytes)});
        }
    }

    std::size_t size = std::max(content.size(), patch_end);
    if (value.contains("size")) {
        size = static_cast<std::size_t>(ReadInteger(value["size"], key + ".size", kMaxBlobSize));
        if (patch_end > size) {
            Refuse(key + ".patches", "a patch runs past the size of " + std::to_string(size));
        }
    }
    if (size > kMaxBlobSize) Refuse(key, "blob too large");
    ChargeBlob(size, key);

    Bytes bytes(size, fill);
    std::copy_n(content.begin(), std::min(content.size(), size), bytes.begin());
    for (const auto& patch : patches) {
        std::copy(patch.bytes.begin(), patch.bytes.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(patch.at));
    }
    return bytes;
}

BlobBudget::BlobBudget() : outer_(blob_total) {
    blob_total = &used_;
}

BlobBudget::~BlobBudget() {
    blob_total = outer_;
}

json ParseBenchJson(std::string_view text) {
    json document;
    DocumentBuilder builder(document);
    json::sax_parse(text.begin(), text.end(), &builder);
    return document;
}

}  // namespace vt::sim
