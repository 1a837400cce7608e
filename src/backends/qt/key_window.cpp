#include "backends/qt/key_window.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "backends/qt/japanese_font.h"

namespace backends::qt {

KeyWindow::KeyWindow(const std::string& text) {
    setWindowTitle(QStringLiteral("キー一覧 (Keys)"));
    setObjectName(QStringLiteral("keys"));
    auto* layout = new QVBoxLayout(this);
    auto* list = new QLabel(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), this);
    list->setFont(japaneseFont(13));
    list->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(list);
    auto* close = new QPushButton(QStringLiteral("閉じる (Close)"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setFont(japaneseFont(13));
    layout->addWidget(close, 0, Qt::AlignRight);
    QObject::connect(close, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace backends::qt
