#include "operations/UnattendedDialog.h"

#include "ui/LogCategories.h"

namespace kuv::operations {

void UnattendedDialog::ShowDialog() {
    if (!unattended_ || DialogMode != kDialogMessage) {
        dialog_.ShowDialog();
        return;
    }
    qCWarning(lcOperations).noquote() << "unattended run: the message closes by itself after" << closeAfterMs_ << "ms:"
                                   << QString::fromStdString(DialogText);
    dialog_.ShowDialogFor(closeAfterMs_);
}

}  // namespace kuv::operations
