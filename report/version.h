#pragma once
// The tool's version and the version of the JSON documents vtutil writes: both programs say them.

namespace vt {

inline constexpr const char* kToolVersion = "0.1.0";
inline constexpr int kJsonFormatVersion = 2;

}  // namespace vt
