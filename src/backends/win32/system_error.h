#pragma once
// A failed COM call in words, for the reasons nukitori reports.
#include <string>
#include <string_view>

namespace backends::win32 {

// "what failed: HRESULT 0x80070002 (the system's own text)".
std::string describeHresult(std::string_view what, long hresult);

}  // namespace backends::win32
