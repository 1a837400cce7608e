#include "backends/qt/qt_image_decoder.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <initializer_list>

#include "backends/qt/qt_image.h"

namespace backends::qt {

namespace {

QByteArray formatBySignature(std::span<const std::uint8_t> bytes) {
    const auto startsWith = [&](std::initializer_list<std::uint8_t> signature) {
        return bytes.size() >= signature.size() && std::equal(signature.begin(), signature.end(), bytes.begin());
    };
    if (startsWith({'B', 'M'})) return "bmp";
    if (startsWith({0xFF, 0xD8, 0xFF})) return "jpeg";
    if (startsWith({0x89, 'P', 'N', 'G'})) return "png";
    return {};  // anything else: Qt finds the reader by the content
}

}  // namespace

base::Result<base::Image> QtImageDecoder::decodeBytes(std::span<const std::uint8_t> bytes) {
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    // Named by its signature, a picture goes straight to its reader: left to guess, Qt loads and
    // asks every image plugin first, which costs a visible part of start-up.
    QImageReader reader(&buffer, formatBySignature(bytes));
    const QImage picture = reader.read();
    if (picture.isNull()) return base::Failure{reader.errorString().toStdString()};
    return imageFromQImage(picture);
}

}  // namespace backends::qt
