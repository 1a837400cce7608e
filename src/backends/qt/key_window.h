#pragma once
// The window F1 opens: the list of keys, and a button that closes it. Closing it leaves the
// program running.
#include <QWidget>
#include <string>

namespace backends::qt {

class KeyWindow final : public QWidget {
public:
    explicit KeyWindow(const std::string& text);
};

}  // namespace backends::qt
