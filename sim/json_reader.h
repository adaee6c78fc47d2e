#pragma once
// Reading the values of a bench file. Every helper names the key it reads in its error, so a
// refused bench file says where it went wrong; errors travel as BenchError up to the one place that
// turns them into the message.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bytes.h"

namespace vt::sim {

struct BenchError {
    std::string key;
    std::string problem;
};

[[noreturn]] void Refuse(const std::string& key, const std::string& problem);

// "12", "0x1C": decimal or 0x-prefixed hexadecimal, at most `max`.
std::uint64_t ParseNumber(std::string_view text, const std::string& key,
                          std::uint64_t max = UINT32_MAX);
// A JSON integer or a number written as a string.
std::uint64_t ReadInteger(const nlohmann::json& value, const std::string& key,
                          std::uint64_t max = UINT32_MAX);
std::string ReadString(const nlohmann::json& value, const std::string& key);
bool ReadBool(const nlohmann::json& value, const std::string& key);
// One of a fixed set of words.
std::string ReadChoice(const nlohmann::json& value, const std::string& key,
                       std::initializer_list<std::string_view> choices);
// "1:2:3" into exactly `parts` numbers, each at most `max`.
std::vector<std::uint64_t> SplitNumbers(const std::string& text, std::size_t parts,
                                        const std::string& key, std::uint64_t max = UINT32_MAX);

// Refuses a key that is not in `allowed`; "comment" and keys starting with "_" are always allowed,
// so a bench file can carry notes.
void CheckKeys(const nlohmann::json& object, const std::string& key,
               std::initializer_list<std::string_view> allowed);
const nlohmann::json& RequireObject(const nlohmann::json& value, const std::string& key);
const nlohmann::json& RequireArray(const nlohmann::json& value, const std::string& key);

// A BLOB: hex digit pairs, or {size, fill, hex | ascii | file, patches}. Files are named relative
// to `base_dir`.
Bytes ReadBlob(const nlohmann::json& value, const std::string& key,
               const std::filesystem::path& base_dir);

inline constexpr std::size_t kMaxBlobSize = 64 * 1024 * 1024;
// All blobs of one bench file together.
inline constexpr std::size_t kMaxBlobBytesTotal = 256 * 1024 * 1024;
// Objects and lists inside each other, the document itself being level 1.
inline constexpr std::size_t kMaxJsonDepth = 64;
// Values of one document, objects and lists included: a drive's capture holds a few hundred.
inline constexpr std::size_t kMaxJsonValues = std::size_t{1} << 20;

// Counts the blob bytes read while it lives (one per bench document, on the reading thread); a blob
// that takes the total past kMaxBlobBytesTotal is refused.
class BlobBudget {
  public:
    BlobBudget();
    ~BlobBudget();
    BlobBudget(const BlobBudget&) = delete;
    BlobBudget& operator=(const BlobBudget&) = delete;

  private:
    std::size_t* outer_;
    std::size_t used_ = 0;
};

// Parses a bench document's text in time linear in its length: a duplicate key, nesting deeper
// than kMaxJsonDepth or more than kMaxJsonValues values is refused (BenchError), malformed JSON
// throws nlohmann::json::parse_error (a number too large for any type: out_of_range).
nlohmann::json ParseBenchJson(std::string_view text);

}  // namespace vt::sim
