#pragma once
// What the dialog form97 decides, apart from its widgets: how DialogMode and
// DialogText are decoded at opening, which button a key presses, what the
// input field does with a typed character, and what each button leaves in
// DialogText and DialogMode. The window (form97_qt.cpp) only shows the
// result; the tests of the rules run without a window.

#include <optional>
#include <string>

namespace kuv {

// The four buttons of form97.
enum class DialogButton {
    Valider,  // command3D0
    Oui,      // command3D1
    Non,      // command3D2
    Annuler,  // Command3d3
};

// InputRule values: what the input field's key filter enforces.
inline constexpr int kInputRuleNone = 0;
inline constexpr int kInputRuleUpperCase = 1000;
inline constexpr int kInputRuleDigits = 10000;

// Mode flags (added to the button set).
inline constexpr int kDialogFlagMask = 100000;
inline constexpr int kDialogFlagDigits = 10000;
inline constexpr int kDialogFlagUpper = 1000;
inline constexpr int kDialogFlagInput = 128;

// Button sets: what is left of the mode once the flags are taken off.
inline constexpr int kButtonSetValider = 0;     // "Valider"
inline constexpr int kButtonSetOuiAnnuler = 1;  // "Oui", "Annuler"
inline constexpr int kButtonSetOuiNon = 4;      // "Oui", "Non"

// Answer codes left in DialogMode.
inline constexpr int kAnswerValider = 1;
inline constexpr int kAnswerAnnuler = 2;
inline constexpr int kAnswerOui = 6;
inline constexpr int kAnswerNon = 7;

// Captions and status-line texts.
inline constexpr const char* kCaptionValider = "Valider";
inline constexpr const char* kCaptionOui = "Oui";
inline constexpr const char* kCaptionNon = "Non";
inline constexpr const char* kCaptionAnnuler = "Annuler";
inline constexpr const char* kStatusWaiting = "Attente de réponse";
const char* StatusTextFor(DialogButton button);

// The dialog as the opening leaves it.
struct DialogOpening {
    bool masked = false;          // the input field shows "*"
    int inputRule = kInputRuleNone;
    bool inputVisible = false;    // Text2 shown
    std::string inputText;        // Text2's text, selected as a whole
    std::string message;          // text1's text (the prompt in input mode)
    int buttonSet = 0;            // what DialogMode holds while the dialog is open
    bool showValider = false;
    bool showOui = false;
    bool showNon = false;
    bool showAnnuler = false;
};

// Decodes mode and text by strict comparisons, largest flag first: a flag
// counts only when more than its value is given, so exactly 128 (or 1128)
// leaves button set 128, with no input field and no button. In input mode
// the text is cut at its first "|": before it the prompt, after it the
// default answer (later "|" stay in the answer).
DialogOpening DecodeDialogOpening(int mode, const std::string& text);

// Keys the dialog cares about.
enum class DialogKey { Enter, Escape, Other };

// Dialog-level key preview: the button a key presses before the focused
// control sees it. Set 0: Enter and Escape press "Valider"; set 1: Enter
// "Oui", Escape "Annuler"; set 4: Enter "Oui", Escape "Non". With any other
// set (no button shown) Escape closes as "Annuler", so that the dialog can
// always be left; Enter goes on to the focused control.
std::optional<DialogButton> DialogLevelButton(int buttonSet, DialogKey key);

// The button the input field's own handler presses: Enter "Valider",
// Escape "Annuler".
std::optional<DialogButton> InputFieldButton(DialogKey key);

// The button that closing the window by its title bar stands for: the
// Escape button of the set.
DialogButton CloseButtonFor(int buttonSet);

// The input field's filter for one typed character (UTF-8 text of the key).
struct FieldKeyResult {
    bool accepted = true;   // false: beep and discard
    std::string text;       // the character to insert (upper-cased if asked)
};
FieldKeyResult FilterFieldKey(int inputRule, const std::string& typed);

// True when the digits-only rule lets this character through.
bool DigitsRuleAccepts(char32_t c);

// Leaves the answer of a button in DialogText and DialogMode:
// "Valider" 1 and the input trimmed of spaces (empty without an input
// field); "Oui" 6 and the input exactly as typed; "Non" 7 and DialogText as
// the dialog left it (the message, or the prompt in input mode); "Annuler" 2
// and empty text.
void LeaveDialogAnswer(DialogButton button, const std::string& inputText, bool inputVisible);

// The message as text1 shows it: the LF CR pair of the program's messages
// (and CR LF) is one line break.
std::string MessageForDisplay(const std::string& message);

}  // namespace kuv
