#pragma once
// The capture frame: a frameless, always-on-top window painted from its outline picture, with
// the controls of the frame's layout.
// A press on its face moves it with the mouse until release (a modal loop), then reports.
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>

class QEventLoop;

namespace backends::qt {

class FrameWindow final : public QWidget {
public:
    explicit FrameWindow(const QImage& outline);
    QLineEdit& prefixBox() { return *edit_; }
    bool isClosed() const { return closed_; }

    std::function<void()> onMoved;
    std::function<void()> onResized;
    std::function<void()> onShoot;
    std::function<void()> onExit;
    std::function<void(const std::string&)> onPrefixChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage outline_;
    QLineEdit* edit_;
    bool closed_ = false;
    bool moving_ = false;
    QPoint pressGlobal_;
    QPoint pressOrigin_;
    QEventLoop* moveLoop_ = nullptr;
};

}  // namespace backends::qt
