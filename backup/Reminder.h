#pragma once
// The reminder when nobody has backed up: "kuvzip --rappel FOLDER", started
// at the user's logon by an autostart entry, looks at when the last
// successful backup of any kind (on a medium, on the desktop, or for a copy)
// was made from the working folder FOLDER, and when it is older than the
// "RAPPEL=n" days of the backup options (7 by default, 0: never) sends one
// desktop notification with the action "Sauvegarder maintenant", which
// starts the program in FOLDER. It never starts a backup by itself.
//
// The record of the last successful backup is a small file of the program in
// the working folder, one line "yyyy-mm-dd hh:mm" (CR LF), written by every
// backup that succeeded; the link-file key "Dern:SAV:MAN" counts too when it
// is newer.
//
// Logic only: the clock, the notification and the program start come in
// through ReminderContext; backup/Reminder_qt.cpp wires the desktop in.

#include <optional>
#include <string>

#include "ui/Environment.h"

namespace kuv::backup {

inline constexpr const char* kReminderRecordFileName = "dernsucc.txt";
inline constexpr const char* kReminderAction = "Sauvegarder maintenant";
inline constexpr const char* kNoBackupEver = "Aucune sauvegarde enregistrée";
// At most this long the reminder waits for the action or the closing.
inline constexpr int kReminderWaitMs = 10 * 60 * 1000;

// Writes the record of a successful backup made now from workingFolder.
bool RecordSuccessfulBackup(const std::string& workingFolder, const DateTime& now);

// The last successful backup made from workingFolder: the newer of the
// record and "Dern:SAV:MAN"; none when neither is readable.
std::optional<DateTime> LastSuccessfulBackup(const std::string& workingFolder);

// "Pas de sauvegarde depuis N jours" and its body with the date of the last.
std::string ReminderSummary(long days);
std::string ReminderBody(const DateTime& last);

// The autostart entry of a working folder: its file name (one per folder,
// derived from the folder's path) and its text.
std::string AutostartFileName(const std::string& workingFolder);
std::string AutostartEntry(const std::string& programPath, const std::string& workingFolder);

// What the reminder needs from the desktop.
class ReminderDesktop {
public:
    virtual ~ReminderDesktop() = default;
    enum class Answer { Action, Closed, TimedOut, NoDesktop };
    // Shows the notification with the action and waits (at most waitMs) for
    // the user's answer.
    virtual Answer NotifyAndWait(const std::string& summary, const std::string& body, const std::string& action,
                                 int waitMs) = 0;
};

struct ReminderContext {
    const Clock& clock;
    ReminderDesktop& desktop;
    ProgramLauncher& launcher;
    std::string programPath;      // the program the action starts
    std::string autostartFolder;  // $XDG_CONFIG_HOME/autostart
};

struct ReminderOutcome {
    bool notified = false;
    bool started = false;          // the action started the program
    bool entryRemoved = false;     // the autostart entry was removed
};

// One reminder run for workingFolder.
ReminderOutcome RunReminderFor(const std::string& workingFolder, ReminderContext& context);

// Writes or refreshes the autostart entry of workingFolder (the program runs
// interactively there). False when it cannot be written.
bool WriteAutostartEntry(const std::string& autostartFolder, const std::string& programPath,
                         const std::string& workingFolder);

}  // namespace kuv::backup
