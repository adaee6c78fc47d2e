#include "platform/helper_backend.h"

namespace vt::platform {

std::unique_ptr<Backend> StartSystemHelper(std::string& error) {
    error = "there is no drive access helper on Windows; run the program as administrator";
    return nullptr;
}

}  // namespace vt::platform
