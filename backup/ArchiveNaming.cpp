#include "backup/ArchiveNaming.h"

#include <cstdio>

namespace kuv::backup {

namespace {

std::string Two(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value % 100 < 0 ? -(value % 100) : value % 100);
    return text;
}

std::string Four(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", value);
    return text;
}

}  // namespace

std::string SafeName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c == '/' || c == '\\') c = '_';
    }
    return out;
}

long DayNumber(int year, int month, int day) {
    // Days from the civil date to 1 January 1970, then moved to 30 December 1899.
    const long y = static_cast<long>(year) - (month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long mp = (month + 9) % 12;
    const long doy = (153 * mp + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long daysSince1970 = era * 146097 + doe - 719468;
    return daysSince1970 + 25569;
}

std::string MediumFolder(const std::string& destinationRoot, const std::string& backupFolderName) {
    std::string folder = destinationRoot;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder + backupFolderName;
}

std::string NormalArchiveName(const DateTime& now) {
    return "KuvSav-" + Two(now.year) + Two(now.month) + Two(now.day) + Two(now.hour) + Two(now.minute) + ".zip";
}

std::string MediumArchivePath(const std::string& mediumFolder, const DateTime& now) {
    return mediumFolder + "\\" + NormalArchiveName(now);
}

std::string DesktopArchiveName(const std::string& desktopArchiveName, const DateTime& now) {
    if (desktopArchiveName.empty()) return "kuvchier.zip";
    const std::string safe = SafeName(desktopArchiveName);
    const size_t marker = safe.find("{D}");
    if (marker == std::string::npos) return safe + ".zip";
    return safe.substr(0, marker) + "_" + Two(now.day) + Two(now.month) + Two(now.year) + ".zip";
}

std::string ReportStamp(const DateTime& now) {
    return Two(now.month) + "-" + Two(now.day) + "-" + Four(now.year) + " - " + Two(now.hour) + ":" +
           Two(now.minute) + ":" + Two(now.second);
}

std::string ArchiveComment(const std::string& folderText, const DateTime& now) {
    return "Sauvegarde " + folderText + " du " + ReportStamp(now);
}

std::string LastBackupValue(const DateTime& now) {
    char number[32];
    std::snprintf(number, sizeof number, "%05ld", DayNumber(now.year, now.month, now.day));
    return Two(now.day) + "/" + Two(now.month) + "/" + Four(now.year) + " à " + Two(now.hour) + ":" +
           Two(now.minute) + ":" + number;
}

}  // namespace kuv::backup
