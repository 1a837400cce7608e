#include "backends/qt/qt_text_painter.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <algorithm>

#include "backends/qt/japanese_font.h"
#include "backends/qt/qt_image.h"

namespace backends::qt {

base::Image QtTextPainter::paint(const std::string& text, std::uint32_t colour, int pixelHeight) {
    const QFont font = japaneseFont(viewerTextPixels(pixelHeight));
    const QStringList lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split('\n');
    const QFontMetrics metrics(font);
    int width = 1;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    const int height = std::max(1, static_cast<int>(lines.size()) * metrics.lineSpacing());
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor::fromRgba(colour));
        for (qsizetype i = 0; i < lines.size(); ++i)
            painter.drawText(0, static_cast<int>(i) * metrics.lineSpacing() + metrics.ascent(), lines[i]);
    }
    return imageFromQImage(image);
}

}  // namespace backends::qt
