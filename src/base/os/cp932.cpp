#include "base/os/cp932.h"

#include "base/utf8.h"

namespace base {

std::string textToUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    if (auto decoded = decodeCp932(bytes)) return *decoded;
    return std::string(bytes);
}

}  // namespace base
