#pragma once
// The dialog port of an unattended run. A run that the linked application
// started (a requested backup, the automatic copy) may have nobody in front
// of the screen: its messages close by themselves after a delay, so that the
// program can end and the linked application waiting for it goes on. In an
// interactive run every dialog waits for the user, as always; questions
// always wait.

#include "ui/DialogPort.h"

namespace kuv::operations {

// How long a message of an unattended run stays up, in milliseconds.
inline constexpr int kUnattendedDialogMs = 30000;

class UnattendedDialog : public DialogPort {
public:
    UnattendedDialog(DialogPort& dialog, int closeAfterMs) : dialog_(dialog), closeAfterMs_(closeAfterMs) {}

    // Messages shown from now on close by themselves (true) or wait (false).
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    bool Unattended() const { return unattended_; }

    void ShowDialog() override;
    void ShowDialogFor(int closeAfterMs) override { dialog_.ShowDialogFor(closeAfterMs); }

private:
    DialogPort& dialog_;
    int closeAfterMs_;
    bool unattended_ = false;
};

// Marks a dialog unattended for as long as it lives (nested marks keep the
// outer one).
class UnattendedScope {
public:
    UnattendedScope(UnattendedDialog& dialog, bool unattended) : dialog_(dialog), before_(dialog.Unattended()) {
        dialog_.SetUnattended(before_ || unattended);
    }
    ~UnattendedScope() { dialog_.SetUnattended(before_); }
    UnattendedScope(const UnattendedScope&) = delete;
    UnattendedScope& operator=(const UnattendedScope&) = delete;

private:
    UnattendedDialog& dialog_;
    bool before_;
};

}  // namespace kuv::operations
