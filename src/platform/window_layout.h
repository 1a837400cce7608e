#pragma once
// The two windows as every backend builds them: titles, sizes, controls with their
// identifiers, texts and places, the capture frame's outline file and its hole. Places are in
// client pixels from the window's top-left corner.
#include "state/view_state.h"

namespace platform {

struct Control {
    int id;
    const char* text;  // UTF-8; empty for the edit box
    int x, y, width, height;
};

// The face a backend draws the controls' texts in: a Japanese gothic face of this pixel height.
inline constexpr int kControlFontPixels = 12;

namespace viewer {
inline constexpr const char* kTitle = "ビューア";
// The client area is the back buffer.
inline constexpr int kClientWidth = state::kBackBufferWidth;
inline constexpr int kClientHeight = state::kBackBufferHeight;
inline constexpr Control kCaptureButton{1000, "キャプチャ", 264, 4, 68, 18};
}  // namespace viewer

namespace frame {
inline constexpr const char* kTitle = "com";
inline constexpr int kWidth = 177;
inline constexpr int kHeight = 152;
inline constexpr Control kExitButton{1001, "終了", 9, 8, 35, 19};
inline constexpr Control kShootButton{1002, "写", 50, 8, 20, 19};
inline constexpr Control kPrefixBox{1003, "", 78, 7, 85, 21};

// The hole that the grabs read: this far in from the window's left and top edges, ending this
// far inside its right and bottom edges.
struct Inset {
    int left, top, right, bottom;
};
inline constexpr Inset kHoleInset{35, 37, 4, 4};
}  // namespace frame

}  // namespace platform
