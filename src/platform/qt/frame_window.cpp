#include "platform/qt/frame_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>

#include "platform/qt/japanese_font.h"

namespace platform::qt {

namespace {

constexpr const char* kFrameTitle = "com";
constexpr const char* kExitText = "終了";
constexpr const char* kShootText = "写";

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

QPushButton* makeButton(QWidget* parent, const char* id, const char* text, QRect place) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromLatin1(id));
    button->setFont(japaneseFont(12));
    button->setGeometry(place);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

FrameWindow::FrameWindow(int width, int height, const QImage& outline) : outline_(outline) {
    setWindowTitle(QString::fromLatin1(kFrameTitle));
    setObjectName(QStringLiteral("frame"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(0, 0, width, height);

    auto* exitButton = makeButton(this, "1001", kExitText, QRect(9, 8, 35, 19));
    auto* shootButton = makeButton(this, "1002", kShootText, QRect(50, 8, 20, 19));
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("1003"));
    edit_->setFont(japaneseFont(12));
    edit_->setGeometry(78, 7, 85, 21);
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

}  // namespace platform::qt
