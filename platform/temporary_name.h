#pragma once
// The random part of the names of the files the file services make beside their targets.

#include <string>

namespace vt::platform {

// "." and six random letters or digits.
std::string TemporarySuffix();

}  // namespace vt::platform
