#pragma once
// The entries of the restore window's backup lists and the names read back
// from them. An entry is one text whose widths are part of its format, since
// the restore recovers the archive's name from it by position:
//  - List1 (backups of a folder): the display label padded with blanks (or
//    cut) to exactly 150 characters, then the archive's file name;
//  - List2 (copies in a cloud folder): the information file's first line
//    followed by 100 blanks, cut to 200 characters, then the information
//    file's name.
// Lengths and positions count characters, not bytes (UTF-8 text).

#include <optional>
#include <string>

#include "ui/Environment.h"

namespace kuv::restore {

inline constexpr size_t kList1LabelWidth = 150;
inline constexpr size_t kList2LineWidth = 200;

// Month names of the labels, as stored ("Février," and "Ouet" included).
// Returns: the name of month 1 to 12, empty for any other number.
std::string MonthName(int month);

// The display label of an archive name: "kuvsav-" and "secur_zip-" names
// followed by ten digits yymmddhhmm give "Sauvegarde du dd Mois 20yy à hhHmm"
// (month digits outside 01-12 give "(mois NN)" in place of the month's name);
// other names, dated or not, give the file name itself.
std::string BackupLabel(const std::string& fileName);

// The List1 entry of a file of the folder; nothing when the name is not a
// backup's ("kuvsav-", "kuvchier", "secur_zip-" in any case).
std::optional<std::string> List1Entry(const std::string& fileName);

// The List2 entry of an information file whose first line is firstLine.
std::string List2Entry(const std::string& firstLine, const std::string& infoFileName);

// The older generations a cloud copy keeps beside its newest archive, in
// the order they are listed after it.
inline constexpr const char* kGenerationSuffixes[] = {".sv1", ".sv2"};

// The List2 entry of an older generation fileName ("name.zip.sv1") of the
// newest archive newestName ("name.zip"): the line the information file held
// when that generation was the newest, "Sauvegarde du : dd/mm/yyyy à hh:nn -
// Dossier : name", dated when (the generation file's own date, which is
// the time of its copy, as the information file's), then the generation's
// file name in place of the information file's.
std::string List2GenerationEntry(const std::string& newestName, const backup::DateTime& when,
                                 const std::string& fileName);

// "Restaurer la " + the first charCount characters of entry, trimmed.
std::string ChoiceText(const std::string& entry, size_t charCount = 60);

// The archive file name of a List1 entry: what follows the 150-character
// label, trimmed.
std::string ArchiveNameOfList1Entry(const std::string& entry);

// The archive file name of a List2 entry: the 50 characters from character
// 48 (where the backup name starts in "Sauvegarde du : dd/mm/yyyy à hh:nn -
// Dossier : NAME"), trimmed, + ".zip". Empty when no name is there.
std::string ArchiveNameOfList2Entry(const std::string& entry);

// Blanks added to (or characters cut from) text to make it exactly width
// characters long.
std::string PadOrCut(const std::string& text, size_t width);

}  // namespace kuv::restore
