#pragma once
// The picture file a Screenshot answer names. Portals make one for every screenshot and leave it
// to the caller, so nukitori removes it once read; but a portal may name any file (a broken or a
// hostile one), so only a file that was read as the screenshot, is the user's own, was made for
// this request, and lies where portals write their screenshots (the user's pictures folder, as
// GNOME's and KDE's do, or the one file xdg-desktop-portal-wlr rewrites every time) goes.
#include <ctime>
#include <string>

#include "base/image.h"
#include "base/result.h"
#include "platform/image_decoder.h"

namespace backends::wayland {

// The file xdg-desktop-portal-wlr writes each of its screenshots to.
inline constexpr const char* kWlrScreenshotFile = "/tmp/out.png";

// Reads the picture at `path` through the picture checks; removes the file afterwards as said
// above. `askedAt`: when the screenshot was asked for; `picturesFolder` may be empty (unknown).
base::Result<base::Image> takeScreenshotFile(platform::ImageDecoder& decoder, const std::string& path,
                                             const std::string& picturesFolder, std::time_t askedAt);

}  // namespace backends::wayland
