#include "backends/qt/qt_image_decoder.h"

#include <QBuffer>
#include <QImageReader>

#include "backends/qt/qt_image.h"

namespace backends::qt {

base::Result<base::Image> QtImageDecoder::decodeBytes(std::span<const std::uint8_t> bytes) {
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QImage picture = reader.read();
    if (picture.isNull()) return base::Failure{reader.errorString().toStdString()};
    return imageFromQImage(picture);
}

}  // namespace backends::qt
