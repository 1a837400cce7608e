#pragma once
// Pictures between Qt and the core: 0xAARRGGBB words, top row first, alpha not premultiplied.
#include <QImage>
#include <cstring>

#include "base/image.h"

namespace backends::qt {

inline base::Image imageFromQImage(const QImage& picture) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    base::Image image(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y)
        std::memcpy(&image.at(0, y), argb.constScanLine(y), static_cast<std::size_t>(argb.width()) * 4);
    return image;
}

inline QImage qImageFrom(const base::Image& image) {
    if (image.empty()) return {};
    const QImage view(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                      static_cast<qsizetype>(image.width) * 4, QImage::Format_ARGB32);
    return view.copy();  // the view borrows the pixels; the copy owns its own
}

}  // namespace backends::qt
