#include "core/errors.h"

#include <cstring>

namespace tandrel {

std::string os_error_text(int err) { return std::string(std::strerror(err)) + " (os error " + std::to_string(err) + ")"; }

}  // namespace tandrel
