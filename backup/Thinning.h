#pragma once
// Which old backups of the backup folder may go, and when.
//
// Only archives whose names are exactly the dated backup grammar
// ("KuvSav-" + ten digits yymmddhhmm + ".zip", any case, a real date) are
// ever candidates: nothing else on the medium is touched. The three most
// recent dated backups and the one being written are never removed.
//
// Two reasons to remove old backups:
//  - a keeping rule, a token of the backup options (line 4 of Kuv-Zip.ini):
//    "GARDER=n" keeps the n most recent (n below 3 counts as 3);
//    "GARDER=AUTO" keeps every backup of the last 7 days, then the last of
//    each week for 8 weeks, then the last of each calendar month for 12
//    months, then the last of each calendar year. It runs after every
//    successful backup, once the new archive has read back;
//  - a medium without room for the new archive: the oldest candidates first,
//    only as many as needed, and none at all when even removing every
//    candidate would not make room.
//
// Pure functions over names, dates and sizes: the job does the file work.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/Environment.h"

namespace kuv::backup {

// The date and time a dated backup's name carries; none for any other name.
std::optional<DateTime> DatedBackupTime(const std::string& name);

struct KeepRule {
    enum class Kind { None, Count, Auto };
    Kind kind = Kind::None;
    int count = 0;  // Kind::Count: how many are kept (at least 3)
};

// The "GARDER=" token of the backup options (case ignored); Kind::None when
// absent or unreadable.
KeepRule KeepRuleOf(const std::string& backupOptions);

// The "RAPPEL=n" token: days without a backup before the reminder (0: never);
// 7 when absent or unreadable.
int ReminderDaysOf(const std::string& backupOptions);

// The names (among names, in the order given) that the rule removes at now,
// oldest first; current is the archive just written (never removed).
std::vector<std::string> RemovedByRule(const std::vector<std::string>& names, const KeepRule& rule,
                                       const DateTime& now, const std::string& current);

struct ExistingBackup {
    std::string name;
    std::uint64_t size = 0;  // bytes its removal gives back
};

struct RoomPlan {
    bool fits = false;                  // the archive fits after the removals
    std::vector<std::string> removed;   // oldest first; empty when it does not fit
};

// The oldest candidates to remove so that needed bytes fit in free bytes.
RoomPlan PlanRoom(const std::vector<ExistingBackup>& backups, std::uint64_t needed, std::uint64_t free,
                  const std::string& current);

}  // namespace kuv::backup
