#include "backends/win32/gothic_font.h"

#include <cwchar>

namespace backends::win32 {

namespace {

// Proportional faces first, as MS P Gothic is one; then the fixed-pitch gothics.
constexpr const wchar_t* kFaces[] = {
    L"ＭＳ Ｐゴシック", L"MS PGothic", L"IPAPGothic",       L"IPAPゴシック", L"IPAGothic",
    L"IPAゴシック",     L"MS Gothic",  L"Noto Sans CJK JP", L"Yu Gothic UI", L"Meiryo UI",
};

int CALLBACK stopAtFirstFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool installed(HDC dc, const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = SHIFTJIS_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &wanted, stopAtFirstFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

std::wstring chooseFace() {
    const WindowDc screen(nullptr);
    for (const wchar_t* face : kFaces)
        if (installed(screen.get(), face)) return face;
    return {};
}

}  // namespace

const std::wstring& gothicFaceName() {
    static const std::wstring face = chooseFace();
    return face;
}

Font createGothicFont(int height, DWORD quality) {
    return Font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                            OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS, quality, FF_SWISS | DEFAULT_PITCH,
                            gothicFaceName().c_str()));
}

}  // namespace backends::win32
