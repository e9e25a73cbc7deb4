// Computations of the main window's startup.

#include "mainwindow/Startup.h"

#include <cctype>

#include "backup/ArchiveNaming.h"
#include "link/LinkFile.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::backup {

std::string BackupFolderName(const std::string& dataFolder) {
    std::string name = "S_";
    for (char c : platform::ToLower(dataFolder)) {
        if (c == '\\' || c == '/') {
            name += '_';
        } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            name += c;
        }
    }
    return name;
}

double DayNumber(const DateTime& when) {
    const long days = DayNumber(when.year, when.month, when.day);
    const double fraction =
        (when.hour * 3600.0 + when.minute * 60.0 + when.second + when.millisecond / 1000.0) / 86400.0;
    return static_cast<double>(days) + fraction;
}

LastBackup ParseLastBackup(const std::string& value, const DateTime& now) {
    LastBackup last;
    last.display = platform::Trim(platform::CharLeft(value, 18));
    last.ageDays = DayNumber(now) - platform::LeadingNumber(platform::CharMid(value, 19));
    return last;
}

Rgb BackupAgeColour(double ageDays) {
    if (ageDays < 2) return kAgeRecent;
    if (ageDays < 5) return kAgeAging;
    return kAgeOld;
}

ExchangeFolderValue ParseExchangeFolder(const std::string& value) {
    ExchangeFolderValue result;
    result.folder = value;
    struct Marker {
        const char* text;
        bool ExchangeFolderValue::*flag;
    };
    const Marker markers[] = {{"{AUTO}", &ExchangeFolderValue::automaticCopy},
                              {"{NOAT}", &ExchangeFolderValue::noFinalMessage},
                              {"{CLOS}", &ExchangeFolderValue::endAtOnce}};
    for (const Marker& marker : markers) {
        size_t at = result.folder.find(marker.text);
        if (at == std::string::npos) continue;
        result.folder.erase(at, 6);
        result.*(marker.flag) = true;
    }
    return result;
}

namespace {
constexpr const char* kLinkPrefix = "#L#";
}

std::string LinkedProgramForDisplay(const std::string& linkedProgram) {
    if (linkedProgram.compare(0, 3, kLinkPrefix) == 0) return linkedProgram.substr(3);
    return linkedProgram;
}

std::string LinkedProgramFromAnswer(const std::string& answer) {
    // An answer that still carries the prefix (typed again, or an old default)
    // is stored once prefixed, never twice.
    std::string program = answer;
    while (program.compare(0, 3, kLinkPrefix) == 0) program.erase(0, 3);
    return kLinkPrefix + program;
}

std::string LinkedProgramCommand(const std::string& linkedProgram) {
    if (platform::Trim(linkedProgram).empty()) return {};
    return platform::Trim(platform::CharMid(linkedProgram, 3));
}

bool LinkFileHasRequest(const std::string& linkPath) {
    // Reading a missing link file would create it.
    if (!platform::IsRegularFile(linkPath)) return false;
    for (const char* key : {"SAVAUT55", "SAVAUT56"}) {
        if (!platform::Trim(ReadLinkValue(key, linkPath)).empty()) return true;
    }
    return ParseExchangeFolder(platform::Trim(ReadLinkValue("RES2Z4IU4", linkPath))).automaticCopy;
}

}  // namespace kuv::backup
