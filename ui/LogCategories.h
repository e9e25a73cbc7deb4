#pragma once
// The program's logging categories (QLoggingCategory). Everything below a
// warning is off by default; QT_LOGGING_RULES="kuvzip.*.debug=true" turns it
// on. The restore window's category is the exception: it carries the member
// list that "Voir le contenu du Zip" writes, and is on at every level.
//
//   kuvzip.startup      the main window's startup steps
//   kuvzip.backup       the data backup job and the main window
//   kuvzip.zip          the engine's reports, logged by the windows
//   kuvzip.restore      the restore window, "Voir le contenu du Zip" (on)
//   kuvzip.operations   copies, program files, the mail archive
//   kuvzip.drives             the destination list following the media
//   kuvzip.notify             desktop notifications

#include <QLoggingCategory>

namespace kuv {

Q_DECLARE_LOGGING_CATEGORY(lcStartup)
Q_DECLARE_LOGGING_CATEGORY(lcBackup)
Q_DECLARE_LOGGING_CATEGORY(lcZip)
Q_DECLARE_LOGGING_CATEGORY(lcRestore)
Q_DECLARE_LOGGING_CATEGORY(lcOperations)
Q_DECLARE_LOGGING_CATEGORY(lcDrives)
Q_DECLARE_LOGGING_CATEGORY(lcNotify)

}  // namespace kuv
