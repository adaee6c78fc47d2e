#include "platform/shared_library.h"

#include <windows.h>

#include "platform/system_text_windows.h"
#include "platform/wide_text.h"

namespace vt::platform {

SharedLibrary::SharedLibrary(const std::string& name) {
    const auto wide = WidePath(name);
    if (!wide) {
        failure_ = name + ": not a valid library name";
        return;
    }
    handle_ = ::LoadLibraryW(wide->c_str());
    if (handle_ == nullptr) failure_ = name + ": " + SystemErrorText(::GetLastError());
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* SharedLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace vt::platform
