#pragma once
// The names and texts of one copy of a backup into a cloud or exchange
// folder: the folder key, the archive name, the folder label, the
// information file's name and its line; and the date stamp the copies and
// the program-file marker show ("dd/mm/yyyy à hh:nn").

#include <string>

#include "ui/Environment.h"

namespace kuv::operations {

// The folder key of a data folder: its characters removed from the end up to
// the last separator, that separator removed too, then what follows the last
// remaining separator, trimmed, in lower case. "\" and "/" both separate:
// "C:\Appli\Donnees" and "/srv/Appli/Donnees" give "appli",
// "C:\Appli\Donnees\" gives "donnees", "C:\Donnees" gives "c:", "/Donnees"
// gives "". A folder without any separator gives "".
std::string FolderKey(const std::string& dataFolder);

// A text from outside made one file name that every file system takes: "/"
// and "\" become "_" (so it can never name another folder), the characters
// FAT, exFAT and network shares refuse (: * ? " < > | and control
// characters) are dropped, and a device name of those systems (CON, NUL,
// COM1 ...) gets a "_". May be empty.
std::string PortableName(const std::string& text);

struct CopyNames {
    std::string archiveName;   // backup name + ".zip"
    std::string folderLabel;   // the backup name
    std::string infoFileName;  // "Info_sv_" + folder key + ".txt"
};
// The backup name and the folder key go through PortableName; a backup name
// left empty by it is "kuvchier".
CopyNames NamesOfCopy(const std::string& dataFolder, const std::string& backupName);

// "dd/mm/yyyy à hh:nn" (hours 00-23).
std::string DateStamp(const backup::DateTime& when);

// The information file's bytes: "Sauvegarde du : " + DateStamp + " - Dossier : "
// + label, CR LF, in Windows-1252 (UTF-8 when the label does not fit). The
// label starts at character 48, where the restore window reads it.
std::string InformationFileBytes(const std::string& folderLabel, const backup::DateTime& when);

}  // namespace kuv::operations
