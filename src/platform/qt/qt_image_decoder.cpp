#include "platform/qt/qt_image_decoder.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <cstring>

namespace platform::qt {

std::optional<render::Image> QtImageDecoder::decode(const std::string& path, std::string& error) {
    const QString name = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    const QFileInfo info(name);
    if (!info.exists()) {
        error = "no such file";
        return std::nullopt;
    }
    if (!info.isFile()) {
        error = "not a regular file";
        return std::nullopt;
    }
    QImageReader reader(name);
    QImage picture = reader.read();
    if (picture.isNull()) {
        error = reader.errorString().toStdString();
        return std::nullopt;
    }
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    render::Image image(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(&image.at(0, y), picture.constScanLine(y), static_cast<std::size_t>(picture.width()) * 4);
    return image;
}

}  // namespace platform::qt
