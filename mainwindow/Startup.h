#pragma once
// The pieces of the main window's startup that are plain computations: the
// backup folder name, the age of the last backup and its colour, the markers
// of the exchange folder value, the linked program's prefix.

#include <string>

#include "ui/Environment.h"
#include "ui/WindowColours.h"

namespace kuv::backup {

// Window width, in twips, of the automatic modes (the panel of the
// requested backup and of the automatic copy fits in it).
inline constexpr int kAutomaticWindowWidth = 10065;
// The window's designed width, in twips: every command is inside it.
inline constexpr int kNormalWindowWidth = 12900;

// "S_" + the data folder in lower case, each "\" or "/" turned into "_",
// letters a-z and digits kept, every other character dropped:
// "D:\Compta 2024\Données" gives "S_d_compta2024_donnes".
std::string BackupFolderName(const std::string& dataFolder);

// Days since 30 December 1899, with the time of day as the fraction.
double DayNumber(const DateTime& when);

// What "Dern:SAV:MAN" tells: the text shown (characters 1 to 18, trimmed)
// and the age in days (now minus the day number from character 20 on).
struct LastBackup {
    std::string display;
    double ageDays = 0;
};
LastBackup ParseLastBackup(const std::string& value, const DateTime& now);

// Label15's background for an age in days.
Rgb BackupAgeColour(double ageDays);

// The exchange folder value with its run-mode markers taken out: the first
// occurrence of "{AUTO}", "{NOAT}" and "{CLOS}" is removed (in that order)
// and its flag set. The remaining text is kept as it is (blanks included).
struct ExchangeFolderValue {
    std::string folder;
    bool automaticCopy = false;  // {AUTO}
    bool noFinalMessage = false; // {NOAT}
    bool endAtOnce = false;      // {CLOS}
};
ExchangeFolderValue ParseExchangeFolder(const std::string& value);

// The linked program as "Outils" shows it (without its "#L#" prefix) and as
// it stores the answer ("#L#" + answer, the prefix never doubled).
std::string LinkedProgramForDisplay(const std::string& linkedProgram);
std::string LinkedProgramFromAnswer(const std::string& answer);

// The command line of the linked program (line 3 from its fourth character,
// trimmed), empty when there is nothing to start.
std::string LinkedProgramCommand(const std::string& linkedProgram);

// Returns: true when the link file at linkPath holds a request that starts an
// unattended run: "SAVAUT55" or "SAVAUT56" not empty, or "{AUTO}" in
// "RES2Z4IU4". Reads only.
bool LinkFileHasRequest(const std::string& linkPath);

}  // namespace kuv::backup
