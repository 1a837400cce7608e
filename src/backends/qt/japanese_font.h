#pragma once
#include <QFont>
#include <QStringList>

namespace backends::qt {

// A proportional Japanese gothic face at a pixel height: IPAPGothic, the free face closest to
// MS P Gothic, which no Linux system has under that name (fontconfig would give a monospaced or
// Latin face for it instead).
inline QFont japaneseFont(int pixelHeight) {
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("ＭＳ Ｐゴシック"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                      QStringLiteral("sans-serif")});
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

// The pixel height IPAPGothic is drawn at for the viewer's texts of `height`: its glyphs are wider
// than MS P Gothic's, and at the full height the key legend and the values run under the capture
// button and past the viewer's edge; at five sevenths every label and value is whole, the
// light's values at 100 % included.
inline int viewerTextPixels(int height) {
    return height * 5 / 7;
}

}  // namespace backends::qt
