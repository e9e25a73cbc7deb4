#pragma once
// Names and dated texts of a data backup: the backup folder on the medium, the
// archive names (normal and copy mode), the archive comment, the date stamps
// of the report and the value of the last-backup record "Dern:SAV:MAN".
//
// Paths built here are in the user's Windows-style vocabulary ("E:\S_x\...");
// the caller resolves them through the drive list before use. Texts are UTF-8.

#include <string>

#include "ui/Environment.h"

namespace kuv::backup {

// Days since 30 December 1899 of a calendar date (3 January 2027 is 46390).
long DayNumber(int year, int month, int day);

// destinationRoot + "\" + backupFolderName ("E:" and "S_c_appli" give
// "E:\S_c_appli"); a root ending in "\" is not doubled.
std::string MediumFolder(const std::string& destinationRoot, const std::string& backupFolderName);

// "KuvSav-yymmddhhmm.zip": year, month, day, hour (00-23), minute.
std::string NormalArchiveName(const DateTime& now);

// mediumFolder + "\" + NormalArchiveName(now).
std::string MediumArchivePath(const std::string& mediumFolder, const DateTime& now);

// The archive's file name on the desktop in copy mode, from the desktop
// archive name N: "kuvchier.zip" when N is empty; N + ".zip" when N holds no
// "{D}"; otherwise the part of N before the first "{D}" + "_ddmmyy.zip"
// (whatever follows "{D}" is dropped). "/" and "\" in N become "_", so that
// the name always stays inside the desktop folder.
std::string DesktopArchiveName(const std::string& desktopArchiveName, const DateTime& now);

// N with every "/" and "\" turned into "_": one file name, never a path.
std::string SafeName(const std::string& name);

// "mm-dd-yyyy - hh:mm:ss", the stamp of the report and the comment.
std::string ReportStamp(const DateTime& now);

// "Sauvegarde " + folderText + " du " + ReportStamp(now).
std::string ArchiveComment(const std::string& folderText, const DateTime& now);

// "dd/mm/yyyy à hh:mm:" + the day number with at least five digits, as in
// "03/01/2027 à 09:05:46390". Characters 1 to 18 are the display text.
std::string LastBackupValue(const DateTime& now);

}  // namespace kuv::backup
