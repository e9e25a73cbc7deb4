#pragma once
// The calling convention of the modal dialog form97, shared by every window.
//
// A caller sets DialogMode and DialogText, asks the dialog port to show the
// dialog, and reads the answer back from the same two variables once the call
// returns:
//     DialogMode = 1129;
//     DialogText = "... tapez 'OUI' pour confirmer ?|NON";
//     dialog.ShowDialog();
//     if (Trim(ToUpper(DialogText)) == "OUI") ...
// The real port is the window form97 (ui/form97_qt.cpp); tests give the logic a
// port that answers without a window.

#include <string>

namespace kuv {

// Before showing: the message (in input mode: prompt, "|", default answer).
// After closing: the answer text. UTF-8.
extern std::string DialogText;
// Before showing: the mode number (flags + button set).
// After closing: the answer code of the button pressed (1, 2, 6 or 7).
extern int DialogMode;

// Mode numbers the callers pass.
constexpr int kDialogMessage = 0;           // message with "Valider"
constexpr int kDialogQuestion = 129;        // input field, "Oui" / "Annuler"
constexpr int kDialogConfirmUpper = 1129;   // the same, upper-case input

class DialogPort {
public:
    virtual ~DialogPort() = default;
    // Shows the dialog modally with the current DialogText and DialogMode and
    // returns once the user has answered; the answer is then in DialogText
    // and DialogMode.
    virtual void ShowDialog() = 0;
    // The same, but when nobody has answered after closeAfterMs
    // milliseconds the dialog closes by itself, as its close button would
    // (an unattended run must not wait for a click that never comes). A port
    // without a window answers at once.
    virtual void ShowDialogFor(int closeAfterMs) {
        (void)closeAfterMs;
        ShowDialog();
    }
};

}  // namespace kuv
