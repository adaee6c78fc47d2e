#pragma once
// A shared library loaded when a command first needs it, so that a program maps what draws (or
// anything else heavy) only when it draws. Closed with the object.

#include <string>

namespace vt::platform {

class SharedLibrary {
  public:
    // Loads the library by its file name ("libcairo.so.2"); Loaded() says whether that worked and
    // Failure() why not.
    explicit SharedLibrary(const std::string& name);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    const std::string& Failure() const { return failure_; }
    // The address of an exported function or object; nullptr when the library lacks it.
    void* Symbol(const char* name) const;

  private:
    void* handle_ = nullptr;
    std::string failure_;
};

}  // namespace vt::platform
