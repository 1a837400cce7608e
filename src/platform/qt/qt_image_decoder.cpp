#include "platform/qt/qt_image_decoder.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/qt/qt_image.h"

namespace platform::qt {

base::Result<base::Image> QtImageDecoder::decodeBytes(std::span<const std::uint8_t> bytes) {
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QImage picture = reader.read();
    if (picture.isNull()) return base::Failure{reader.errorString().toStdString()};
    return imageFromQImage(picture);
}

}  // namespace platform::qt
