#pragma once
// The Japanese gothic face of the controls and the viewer's texts: MS P Gothic where it is
// installed, else the first Japanese gothic face the system has (IPA's under Wine).
#include <string>

#include "backends/win32/gdi_objects.h"

namespace backends::win32 {

// The face name, chosen once per process; empty when no known face is installed, which lets
// the font mapper pick any Japanese face.
const std::wstring& gothicFaceName();

// `height` as CreateFontW takes it: negative for the character height, positive for the cell.
Font createGothicFont(int height, DWORD quality);

}  // namespace backends::win32
