// Qt's standard boxes with French buttons.

#include "ui/MessageBoxes_qt.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace kuv {

QString QtMessageBoxes::DisplayText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtMessageBoxes::Show(int icon, const std::string& title, const std::string& text) {
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromStdString(title), DisplayText(text),
                    QMessageBox::NoButton, parent_.data());
    box.setTextFormat(Qt::PlainText);  // file names are never markup
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

void QtMessageBoxes::Information(const std::string& title, const std::string& text) {
    Show(QMessageBox::Information, title, text);
}

void QtMessageBoxes::Warning(const std::string& title, const std::string& text) {
    Show(QMessageBox::Warning, title, text);
}

bool QtMessageBoxes::Input(const std::string& title, const std::string& prompt, std::string& answer) {
    QInputDialog box(parent_.data());
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(QString::fromStdString(title));
    box.setLabelText(DisplayText(prompt));
    box.setOkButtonText(QStringLiteral("OK"));
    box.setCancelButtonText(QStringLiteral("Annuler"));
    box.setTextValue(QString());
    const bool accepted = box.exec() == QDialog::Accepted;
    answer = accepted ? box.textValue().toStdString() : std::string();
    return accepted;
}

}  // namespace kuv
