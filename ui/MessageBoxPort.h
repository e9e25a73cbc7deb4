#pragma once
// The standard message and input boxes (not form97) that the archive-viewer
// commands use, as a port: the real one shows Qt's boxes with French buttons
// (ui/MessageBoxes_qt.h); tests give the logic a port that answers from a
// script. Texts are UTF-8; a line break may be CR LF or LF.

#include <string>

namespace kuv {

class MessageBoxPort {
public:
    virtual ~MessageBoxPort() = default;
    // A message with its OK button; returns once the user has closed it.
    virtual void Information(const std::string& title, const std::string& text) = 0;
    // The same with the warning icon.
    virtual void Warning(const std::string& title, const std::string& text) = 0;
    // An input box with "OK" and "Annuler", its field empty.
    // Returns: true with the typed text in answer for "OK", false for
    // "Annuler" or a closed box (answer then empty).
    virtual bool Input(const std::string& title, const std::string& prompt, std::string& answer) = 0;
};

}  // namespace kuv
