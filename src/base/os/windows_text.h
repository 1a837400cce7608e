#pragma once
// Text at the border of the Windows API, which takes and gives UTF-16 (nukitori's text is UTF-8
// everywhere else), and the system's own words for a failure. Windows builds only.
#ifdef _WIN32
#include <string>
#include <string_view>

namespace base {

// Ill-formed UTF-8 becomes U+FFFD, so a broken name still reaches the system as a name.
std::wstring toUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string toUtf8(std::wstring_view utf16);

// The system's message for a GetLastError() code, in the user's language, without its line
// break and final full stop; "error N" when the system has no message for it.
std::string systemErrorText(unsigned long code);

// An HRESULT as the system's documentation writes it, e.g. "0x8876086C" (HRESULT is a long).
std::string hresultText(long hresult);

}  // namespace base
#endif
