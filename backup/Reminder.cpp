#include "backup/Reminder.h"

#include <QLoggingCategory>
#include <cstdio>
#include <functional>

#include "backup/ArchiveNaming.h"
#include "backup/ConfigFile.h"
#include "backup/Thinning.h"
#include "link/LinkFile.h"
#include "platform/Files.h"
#include "platform/Text.h"

Q_LOGGING_CATEGORY(lcReminder, "kuvzip.rappel")

namespace kuv::backup {

namespace {

using kuv::platform::JoinPath;

long long MinutesOf(const DateTime& t) {
    return static_cast<long long>(DayNumber(t.year, t.month, t.day)) * 1440 + t.hour * 60 + t.minute;
}

bool Plausible(const DateTime& t) {
    return t.year >= 1990 && t.year <= 2200 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59;
}

std::optional<DateTime> ReadRecord(const std::string& workingFolder) {
    std::string bytes;
    if (!kuv::platform::ReadWholeFile(JoinPath(workingFolder, kReminderRecordFileName), bytes)) return std::nullopt;
    DateTime t;
    if (std::sscanf(bytes.c_str(), "%4d-%2d-%2d %2d:%2d", &t.year, &t.month, &t.day, &t.hour, &t.minute) != 5 ||
        !Plausible(t)) {
        return std::nullopt;
    }
    return t;
}

// "dd/mm/yyyy à hh:mm:ddddd".
std::optional<DateTime> ReadLastBackupKey(const std::string& workingFolder) {
    const std::string value =
        kuv::platform::Trim(kuv::ReadLinkValue("Dern:SAV:MAN", JoinPath(workingFolder, kuv::kLinkFileName)));
    DateTime t;
    if (std::sscanf(value.c_str(), "%2d/%2d/%4d", &t.day, &t.month, &t.year) != 3) return std::nullopt;
    const size_t at = value.find(" \xC3\xA0 ");  // " à "
    if (at == std::string::npos || std::sscanf(value.c_str() + at + 4, "%2d:%2d", &t.hour, &t.minute) != 2) {
        return std::nullopt;
    }
    if (!Plausible(t)) return std::nullopt;
    return t;
}

bool RemoveEntry(const ReminderContext& context, const std::string& workingFolder) {
    const std::string path = JoinPath(context.autostartFolder, AutostartFileName(workingFolder));
    if (!kuv::platform::PathExists(path)) return false;
    return kuv::platform::RemoveFile(path);
}

// A path quoted for the Exec key of a desktop entry.
std::string ExecQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') {
            quoted += "%%";
            continue;
        }
        quoted += c;
    }
    quoted += '"';
    // The desktop entry format escapes the backslash once more in string values.
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

bool RecordSuccessfulBackup(const std::string& workingFolder, const DateTime& now) {
    char line[40];
    std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d\r\n", now.year, now.month, now.day, now.hour,
                  now.minute);
    return kuv::platform::WriteWholeFile(JoinPath(workingFolder, kReminderRecordFileName), line);
}

std::optional<DateTime> LastSuccessfulBackup(const std::string& workingFolder) {
    const auto record = ReadRecord(workingFolder);
    const auto key = ReadLastBackupKey(workingFolder);
    if (record && key) return MinutesOf(*key) > MinutesOf(*record) ? key : record;
    return record ? record : key;
}

std::string ReminderSummary(long days) { return "Pas de sauvegarde depuis " + std::to_string(days) + " jours"; }

std::string ReminderBody(const DateTime& last) {
    char text[96];
    std::snprintf(text, sizeof text, "Dernière sauvegarde le %02d/%02d/%04d à %02d:%02d.", last.day, last.month,
                  last.year, last.hour, last.minute);
    return text;
}

std::string AutostartFileName(const std::string& workingFolder) {
    // FNV-1a of the folder's path: stable from one run to the next.
    std::uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : workingFolder) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[48];
    std::snprintf(name, sizeof name, "kuvzip-rappel-%016llx.desktop", static_cast<unsigned long long>(hash));
    return name;
}

std::string AutostartEntry(const std::string& programPath, const std::string& workingFolder) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Kuv-Zip - rappel de sauvegarde\n"
           "Comment=" + workingFolder + "\n"
           "Exec=" + ExecQuoted(programPath) + " --rappel " + ExecQuoted(workingFolder) + "\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool WriteAutostartEntry(const std::string& autostartFolder, const std::string& programPath,
                         const std::string& workingFolder) {
    if (autostartFolder.empty() || !kuv::platform::CreateFolderPath(autostartFolder)) return false;
    return kuv::platform::WriteWholeFile(JoinPath(autostartFolder, AutostartFileName(workingFolder)),
                                         AutostartEntry(programPath, workingFolder));
}

ReminderOutcome RunReminderFor(const std::string& workingFolder, ReminderContext& context) {
    ReminderOutcome outcome;
    if (!kuv::platform::IsFolder(workingFolder)) {
        qCInfo(lcReminder).noquote() << "dossier introuvable, rappel retiré :" << QString::fromStdString(workingFolder);
        outcome.entryRemoved = RemoveEntry(context, workingFolder);
        return outcome;
    }
    ConfigLines config;
    ReadConfigFile(JoinPath(workingFolder, kConfigFileName), config);
    const int days = ReminderDaysOf(config.backupOptions);
    if (days <= 0) {
        qCInfo(lcReminder) << "RAPPEL=0: rappel retiré";
        outcome.entryRemoved = RemoveEntry(context, workingFolder);
        return outcome;
    }
    const DateTime now = context.clock.Now();
    const auto last = LastSuccessfulBackup(workingFolder);
    std::string summary;
    std::string body;
    if (last) {
        const long age = DayNumber(now.year, now.month, now.day) - DayNumber(last->year, last->month, last->day);
        if (age <= days) return outcome;
        summary = ReminderSummary(age);
        body = ReminderBody(*last);
    } else {
        summary = kNoBackupEver;
        body = "Aucune sauvegarde n'a encore été faite depuis " + workingFolder + ".";
    }
    const auto answer = context.desktop.NotifyAndWait(summary, body, kReminderAction, kReminderWaitMs);
    outcome.notified = answer != ReminderDesktop::Answer::NoDesktop;
    if (answer == ReminderDesktop::Answer::NoDesktop) {
        qCWarning(lcReminder).noquote() << "pas de bureau pour le rappel :" << QString::fromStdString(summary);
    } else if (answer == ReminderDesktop::Answer::Action) {
        outcome.started = context.launcher.StartProgram(context.programPath, {}, workingFolder);
        if (!outcome.started) qCWarning(lcReminder) << "le programme n'a pas pu être lancé";
    }
    return outcome;
}

}  // namespace kuv::backup
