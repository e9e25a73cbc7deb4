#pragma once
// Qt's standard boxes behind MessageBoxPort: QMessageBox with an "OK"
// button, QInputDialog with "OK" and "Annuler", modal over a parent window.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "ui/MessageBoxPort.h"

namespace kuv {

inline constexpr const char* kMessageBoxTitle = "Kuv-Zip";

class QtMessageBoxes : public MessageBoxPort {
public:
    // REQUIRES: parent (may be null) outlives the port or is deleted by Qt.
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}

    void Information(const std::string& title, const std::string& text) override;
    void Warning(const std::string& title, const std::string& text) override;
    bool Input(const std::string& title, const std::string& prompt, std::string& answer) override;

    // A message's text as a box shows it: CR LF (and a lone CR) become one
    // line break.
    static QString DisplayText(const std::string& text);

private:
    void Show(int icon, const std::string& title, const std::string& text);
    QPointer<QWidget> parent_;
};

}  // namespace kuv
