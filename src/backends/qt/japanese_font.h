#pragma once
#include <QFont>
#include <QStringList>

namespace backends::qt {

// A Japanese gothic face at a pixel height; fontconfig picks a substitute for the first
// family it lacks (IPAPGothic stands in for MS P Gothic).
inline QFont japaneseFont(int pixelHeight) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("sans-serif")});
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace backends::qt
