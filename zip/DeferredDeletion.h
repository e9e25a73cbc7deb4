#pragma once
// Deletion, at the next logon, of the temporary files that were opened with
// their associated program (they may still be open when the engine ends).
//
// A shell script destrucFic.sh in the files' folder removes them, then
// removes its autostart entry and itself (its last line); the XDG autostart
// entry DelFile_clsZip.desktop runs it once at the next desktop logon. A
// later instance inserts its lines before the script's last line, so that a
// script not yet run keeps deleting the older files too. Paths are quoted for
// the shell and escaped for the desktop entry, whatever characters they hold.

#include <string>
#include <vector>

namespace kuv::zip {

// The autostart folder: $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
std::string AutostartFolder();

// A path as one single-quoted shell word.
std::string ShellQuote(const std::string& text);
// A path as one argument of a desktop entry's Exec key (quoted and escaped).
std::string DesktopExecArgument(const std::string& text);

// Writes or extends the script beside the first file and registers it.
// False when nothing could be written. An empty list does nothing.
bool ScheduleDeletion(const std::vector<std::string>& files);

}  // namespace kuv::zip
