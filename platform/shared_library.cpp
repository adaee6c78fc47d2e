#include "platform/shared_library.h"

#include <dlfcn.h>

namespace vt::platform {

SharedLibrary::SharedLibrary(const std::string& name) {
    handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        failure_ = why != nullptr ? why : name + ": cannot be loaded";
    }
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace vt::platform
