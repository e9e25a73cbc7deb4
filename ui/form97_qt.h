#pragma once
// The modal message and input dialog form97 and the dialog port that shows
// it. The window is created fresh at each showing and destroyed at its
// closing; DialogText and DialogMode carry the question in and the answer
// out (ui/DialogPort.h).

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>

#include "ui/DialogLogic.h"
#include "ui/DialogPort.h"

namespace Ui {
class form97;
}

namespace kuv {

class form97 : public QDialog {
    Q_OBJECT

public:
    // The load step: dresses, centres and fills the window from DialogMode
    // and DialogText, leaving DialogText cut to the message and DialogMode
    // holding the button set while the window is open.
    explicit form97(QWidget* parent = nullptr);
    ~form97() override;

    // What the opening decided (tests and the port).
    const DialogOpening& Opening() const { return opening_; }
    bool Answered() const { return answered_; }

    // The system beep of the input field's filter; tests replace it.
    static void SetBeep(std::function<void()> beep);

    // Presses a button as a click would.
    void Press(DialogButton button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void reject() override;

private:
    void Load();
    void SetStatus(const QString& text);
    void FitMessage();
    bool FieldKey(QKeyEvent* event);
    void FilterPasted(const QString& text);

    std::unique_ptr<Ui::form97> ui_;
    DialogOpening opening_;
    bool answered_ = false;
    QString shownText_;  // the field's text after the last edit
};

// The real dialog port: shows form97 modally over parent (or over the
// active window when none is given) with the arrow pointer, and returns once
// the user has answered and the window is gone.
class Form97Dialog : public DialogPort {
public:
    explicit Form97Dialog(QWidget* parent = nullptr);
    void ShowDialog() override;
    void ShowDialogFor(int closeAfterMs) override;

private:
    // closeAfterMs < 0: no time limit.
    void Show(int closeAfterMs);
    QPointer<QWidget> parent_;
};

}  // namespace kuv
