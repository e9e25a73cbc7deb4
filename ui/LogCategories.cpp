#include "ui/LogCategories.h"

namespace kuv {

Q_LOGGING_CATEGORY(lcStartup, "kuvzip.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcBackup, "kuvzip.backup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcZip, "kuvzip.zip", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRestore, "kuvzip.restore")
Q_LOGGING_CATEGORY(lcOperations, "kuvzip.operations", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDrives, "kuvzip.drives", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNotify, "kuvzip.notify", QtWarningMsg)

}  // namespace kuv
