#pragma once
// The few file operations the kernel's configuration file systems (configfs, sysfs) take: each
// returns false and leaves a message naming the path and the error.

#include <string>

namespace vt::serve {

bool WriteText(const std::string& path, const std::string& text, std::string& error);
bool ReadText(const std::string& path, std::string& text, std::string& error);
bool MakeDirectory(const std::string& path, std::string& error);
bool MakeLink(const std::string& target, const std::string& link, std::string& error);
// Removal for tear-down: failures are ignored, the kernel keeps what it still uses.
void RemoveDirectory(const std::string& path);
void RemoveLink(const std::string& path);

}  // namespace vt::serve
