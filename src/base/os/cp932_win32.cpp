#include <windows.h>

#include <climits>

#include "base/os/cp932.h"
#include "base/os/windows_text.h"

namespace base {

std::optional<std::string> decodeCp932(std::string_view bytes) {
    if (bytes.empty()) return std::string();
    if (bytes.size() > INT_MAX) return std::nullopt;
    const int length = static_cast<int>(bytes.size());
    // Strict: a byte sequence that is not CP932 must fail, not turn into replacement characters,
    // so that the caller can keep the name's bytes instead.
    const int needed = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(), needed) != needed)
        return std::nullopt;
    return toUtf8(wide);
}

}  // namespace base
