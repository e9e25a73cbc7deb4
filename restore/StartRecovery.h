#pragma once
// The recovery of the data folder at a start (recovery/RestoreRecovery.h),
// told to the user: in form97 (mode 0) when someone is in front of the
// window; in the desktop's notifications and the log ("kuvzip.restore")
// when the run is unattended, which never shows a modal dialog.

#include <string>

#include "recovery/RestoreRecovery.h"

namespace kuv {
class DialogPort;
class Notifier;
}  // namespace kuv

namespace kuv::restore {

// The summary of the notification that tells a recovery.
inline constexpr const char* kNotifyRecovery = "Kuv-Zip : restauration interrompue";

// Recovers dataFolder (a Linux path) and tells what was done. dialog is
// used when !unattended, notifier when unattended (either may be null).
recovery::RecoveryReport RecoverAndTell(const std::string& dataFolder, bool unattended, DialogPort* dialog,
                                        Notifier* notifier);

}  // namespace kuv::restore
