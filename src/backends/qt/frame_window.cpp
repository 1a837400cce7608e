#include "backends/qt/frame_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>

#include "backends/qt/japanese_font.h"
#include "platform/window_layout.h"

namespace backends::qt {

namespace {

// A single-line box without horizontal scrolling takes only what fits its width.
class FitsWidthValidator final : public QValidator {
public:
    explicit FitsWidthValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int&) const override {
        const int room =
            edit_->contentsRect().width() - edit_->textMargins().left() - edit_->textMargins().right() - 4;
        return edit_->fontMetrics().horizontalAdvance(input) <= room ? Acceptable : Invalid;
    }

private:
    QLineEdit* edit_;
};

QPushButton* makeButton(QWidget* parent, const platform::Control& place) {
    auto* button = new QPushButton(QString::fromUtf8(place.text), parent);
    button->setObjectName(QString::number(place.id));
    button->setFont(japaneseFont(platform::kControlFontPixels));
    button->setGeometry(place.x, place.y, place.width, place.height);
    // A clicked button takes the keyboard from the prefix box, as on Windows: the keys pressed
    // next (overlay keys among them) must not be typed into the prefix.
    button->setFocusPolicy(Qt::ClickFocus);
    return button;
}

}  // namespace

FrameWindow::FrameWindow(const QImage& outline) : outline_(outline) {
    namespace layout = platform::frame;
    setWindowTitle(QString::fromUtf8(layout::kTitle));
    setObjectName(QStringLiteral("frame"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // A window with alpha: compositors that ignore the X shape (XWayland under wlroots shows
    // the shaped-out part of an opaque window as black) let the desktop show through the hole,
    // which is left fully transparent; the shape still cuts it where no compositor runs.
    setAttribute(Qt::WA_TranslucentBackground);
    setGeometry(0, 0, layout::kWidth, layout::kHeight);

    auto* exitButton = makeButton(this, layout::kExitButton);
    auto* shootButton = makeButton(this, layout::kShootButton);
    constexpr platform::Control box = layout::kPrefixBox;
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QString::number(box.id));
    edit_->setFont(japaneseFont(platform::kControlFontPixels));
    edit_->setGeometry(box.x, box.y, box.width, box.height);
    edit_->setValidator(new FitsWidthValidator(edit_));

    QObject::connect(exitButton, &QPushButton::clicked, this, [this] {
        if (onExit) onExit();
    });
    QObject::connect(shootButton, &QPushButton::clicked, this, [this] {
        if (onShoot) onShoot();
    });
    QObject::connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (onPrefixChanged) onPrefixChanged(text.toStdString());
    });
}

void FrameWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    if (!mask().isEmpty()) painter.setClipRegion(mask());
    painter.fillRect(rect(), palette().button());
    if (!outline_.isNull()) painter.drawImage(0, 0, outline_);
}

void FrameWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || moving_) return;
    // The move follows the mouse until release; no idle pass runs meanwhile.
    moving_ = true;
    pressGlobal_ = event->globalPosition().toPoint();
    pressOrigin_ = pos();
    grabMouse();
    QEventLoop loop;
    moveLoop_ = &loop;
    loop.exec();
    moveLoop_ = nullptr;
    releaseMouse();
    moving_ = false;
    if (onMoved) onMoved();
}

void FrameWindow::mouseMoveEvent(QMouseEvent* event) {
    if (moving_) move(pressOrigin_ + event->globalPosition().toPoint() - pressGlobal_);
}

void FrameWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (!moving_ || event->button() != Qt::LeftButton) return;
    move(pressOrigin_ + event->globalPosition().toPoint() - pressGlobal_);
    if (moveLoop_) moveLoop_->quit();
}

void FrameWindow::resizeEvent(QResizeEvent*) {
    if (onResized) onResized();
}

void FrameWindow::closeEvent(QCloseEvent* event) {
    // Closing the frame alone leaves the viewer running.
    event->accept();
    closed_ = true;
}

}  // namespace backends::qt
