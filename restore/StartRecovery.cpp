#include "restore/StartRecovery.h"

#include "ui/DialogPort.h"
#include "ui/LogCategories.h"
#include "ui/Notifications.h"

namespace kuv::restore {

recovery::RecoveryReport RecoverAndTell(const std::string& dataFolder, bool unattended, DialogPort* dialog,
                                        Notifier* notifier) {
    const recovery::RecoveryReport report = recovery::RecoverDataFolder(dataFolder);
    if (report.state == recovery::RecoveryState::InUse)
        qCInfo(lcRestore).noquote() << "a restore of" << QString::fromStdString(dataFolder)
                                    << "is in progress in another process: left alone";
    if (report.leftoversRemoved > 0)
        qCInfo(lcRestore).noquote() << report.leftoversRemoved << "work file(s) of an interrupted run removed from"
                                    << QString::fromStdString(dataFolder);
    if (!recovery::RecoveryToTell(report)) return report;
    const std::string text = recovery::RecoveryMessage(report);
    qCWarning(lcRestore).noquote() << QString::fromStdString(text);
    if (unattended) {
        if (notifier) notifier->Notify(kNotifyRecovery, text);
    } else if (dialog) {
        DialogMode = kDialogMessage;
        DialogText = text;
        dialog->ShowDialog();
    }
    return report;
}

}  // namespace kuv::restore
