#include "platform/qt/gl_text_font.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include "platform/qt/gl_device.h"
#include "platform/qt/japanese_font.h"

namespace platform::qt {

namespace {
// The value texts change while keys are held; an upper bound keeps the cache small.
constexpr std::size_t kMaxCachedTexts = 64;
}  // namespace

GlTextFont::GlTextFont(GlDevice& device, int pixelHeight)
    : device_(device), font_(japaneseFont(pixelHeight)) {}

GlTextFont::~GlTextFont() {
    forgetAll();
}

void GlTextFont::forgetAll() {
    for (auto& [key, picture] : cache_) device_.gl().glDeleteTextures(1, &picture.texture);
    cache_.clear();
}

GlTextFont::Picture GlTextFont::make(const std::string& text, std::uint32_t colour) {
    const QStringList lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split('\n');
    const QFontMetrics metrics(font_);
    int width = 1;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    const int height = std::max(1, static_cast<int>(lines.size()) * metrics.lineSpacing());
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setFont(font_);
        painter.setPen(QColor::fromRgba(colour));
        for (qsizetype i = 0; i < lines.size(); ++i)
            painter.drawText(0, static_cast<int>(i) * metrics.lineSpacing() + metrics.ascent(), lines[i]);
    }
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    auto& gl = device_.gl();
    Picture picture{0, width, height};
    gl.glGenTextures(1, &picture.texture);
    gl.glBindTexture(GL_TEXTURE_2D, picture.texture);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                    rgba.constBits());
    return picture;
}

void GlTextFont::drawText(int x, int y, const std::string& text, std::uint32_t colour) {
    const auto key = std::make_pair(text, colour);
    auto it = cache_.find(key);
    if (it == cache_.end()) {
        if (cache_.size() >= kMaxCachedTexts) forgetAll();
        it = cache_.emplace(key, make(text, colour)).first;
    }
    device_.drawPicture(it->second.texture, x, y, it->second.width, it->second.height);
}

}  // namespace platform::qt
