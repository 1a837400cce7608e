#include "backends/win32/system_error.h"

#include "base/os/windows_text.h"

namespace backends::win32 {

std::string describeHresult(std::string_view what, long hresult) {
    const auto code = static_cast<unsigned long>(hresult);
    std::string result = std::string(what) + ": HRESULT " + base::hresultText(hresult);
    // The system has words for most codes; a bare number is not repeated.
    const std::string text = base::systemErrorText(code);
    if (text != "error " + std::to_string(code)) result += " (" + text + ")";
    return result;
}

}  // namespace backends::win32
