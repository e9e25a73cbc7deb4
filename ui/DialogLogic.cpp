#include "ui/DialogLogic.h"

#include "platform/Text.h"
#include "ui/DialogPort.h"

namespace kuv {

const char* StatusTextFor(DialogButton button) {
    switch (button) {
        case DialogButton::Valider: return "OK / VALIDER";
        case DialogButton::Oui: return "OUI / Valider";
        case DialogButton::Non: return "NON / Annuler";
        case DialogButton::Annuler: return "NON / Annuler";
    }
    return kStatusWaiting;
}

DialogOpening DecodeDialogOpening(int mode, const std::string& text) {
    DialogOpening d;
    d.message = text;
    if (mode > kDialogFlagMask) {
        mode -= kDialogFlagMask;
        d.masked = true;
    }
    if (mode > kDialogFlagDigits) {
        mode -= kDialogFlagDigits;
        d.inputRule = kInputRuleDigits;
    }
    if (mode > kDialogFlagUpper) {
        mode -= kDialogFlagUpper;
        d.inputRule = kInputRuleUpperCase;
    }
    if (mode > kDialogFlagInput) {
        mode -= kDialogFlagInput;
        d.inputVisible = true;
        const size_t bar = text.find('|');
        if (bar != std::string::npos) {
            d.inputText = text.substr(bar + 1);
            d.message = text.substr(0, bar);
        }
    }
    d.buttonSet = mode;
    switch (mode) {
        case kButtonSetValider: d.showValider = true; break;
        case kButtonSetOuiAnnuler: d.showOui = d.showAnnuler = true; break;
        case kButtonSetOuiNon: d.showOui = d.showNon = true; break;
        default: break;
    }
    return d;
}

std::optional<DialogButton> DialogLevelButton(int buttonSet, DialogKey key) {
    if (key == DialogKey::Other) return std::nullopt;
    switch (buttonSet) {
        case kButtonSetValider: return DialogButton::Valider;
        case kButtonSetOuiAnnuler:
            return key == DialogKey::Enter ? DialogButton::Oui : DialogButton::Annuler;
        case kButtonSetOuiNon:
            return key == DialogKey::Enter ? DialogButton::Oui : DialogButton::Non;
        default:
            if (key == DialogKey::Escape) return DialogButton::Annuler;
            return std::nullopt;
    }
}

std::optional<DialogButton> InputFieldButton(DialogKey key) {
    if (key == DialogKey::Enter) return DialogButton::Valider;
    if (key == DialogKey::Escape) return DialogButton::Annuler;
    return std::nullopt;
}

DialogButton CloseButtonFor(int buttonSet) {
    return *DialogLevelButton(buttonSet, DialogKey::Escape);
}

bool DigitsRuleAccepts(char32_t c) {
    switch (c) {
        case '.': case ',':
        case '\r': case '\n':  // Enter
        case 0x1B:             // Escape
        case 0x08:             // Backspace
        case '\t':             // Tab
            return true;
        default:
            return c >= '0' && c <= '9';
    }
}

FieldKeyResult FilterFieldKey(int inputRule, const std::string& typed) {
    FieldKeyResult r;
    r.text = typed;
    if (inputRule == kInputRuleDigits) {
        for (char32_t c : platform::Utf8ToCodepoints(typed)) {
            if (!DigitsRuleAccepts(c)) {
                r.accepted = false;
                r.text.clear();
                return r;
            }
        }
    } else if (inputRule == kInputRuleUpperCase) {
        r.text = platform::ToUpper(typed);
    }
    return r;
}

void LeaveDialogAnswer(DialogButton button, const std::string& inputText, bool inputVisible) {
    switch (button) {
        case DialogButton::Valider:
            DialogMode = kAnswerValider;
            DialogText = inputVisible ? platform::Trim(inputText) : std::string();
            break;
        case DialogButton::Oui:
            DialogMode = kAnswerOui;
            DialogText = inputVisible ? inputText : std::string();
            break;
        case DialogButton::Non:
            DialogMode = kAnswerNon;  // DialogText stays as the dialog left it
            break;
        case DialogButton::Annuler:
            DialogMode = kAnswerAnnuler;
            DialogText.clear();
            break;
    }
}

std::string MessageForDisplay(const std::string& message) {
    std::string out;
    out.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if ((c == '\n' && i + 1 < message.size() && message[i + 1] == '\r') ||
            (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')) {
            out += '\n';
            ++i;
        } else if (c == '\r') {
            out += '\n';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace kuv
