#pragma once
// Deletion, at the next logon, of the temporary files that were opened with
// their associated program (they may still be open when the engine ends).
//
// Members opened that way are written into a private folder the instance
// makes in the temporary folder ("Kuv-Zip-XXXXXX", mode 0700), so that no
// stored name can reach a file of the engine's own.
//
// One shell script per user, destrucFic.sh in $XDG_CACHE_HOME/Kuv-Zip (else
// ~/.cache/Kuv-Zip, mode 0700), removes them, then removes its autostart
// entry and itself (its last line); the XDG autostart entry
// DelFile_clsZip.desktop runs it once at the next desktop logon. The script
// is created with O_EXCL|O_NOFOLLOW; a later instance adds its lines before
// the last one only when the script is a regular file of this user in that
// folder. Every line the script keeps or gets removes a path inside one of
// the engine's private folders (a file in it, or the emptied folder itself),
// whatever an earlier script held. Paths are quoted for the shell and
// escaped for the desktop entry, whatever characters they hold.

#include <string>
#include <vector>

namespace kuv::zip {

// The autostart folder: $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
std::string AutostartFolder();
// The folder of the deletion script: $XDG_CACHE_HOME/Kuv-Zip, else ~/.cache/Kuv-Zip.
std::string DeletionScriptFolder();

// Makes a new private folder in the temporary folder (mkdtemp, mode 0700).
// Returns: its path, empty when it cannot be made.
std::string MakePrivateFolder();
// True when path is one of the engine's private folders ("Kuv-Zip-XXXXXX",
// absolute, without "." or ".." parts).
bool IsPrivateFolder(const std::string& path);
// True when path names an entry directly inside a private folder.
bool IsInPrivateFolder(const std::string& path);

// A path as one single-quoted shell word.
std::string ShellQuote(const std::string& text);
// The text of a line "rm -f -- 'PATH'" or "rmdir -- 'PATH'": false when the
// line is not exactly one of these.
bool ParseDeletionLine(const std::string& line, std::string& path, bool& folder);
// A path as one argument of a desktop entry's Exec key (quoted and escaped).
std::string DesktopExecArgument(const std::string& text);

// Writes or extends the script so that it removes files, then the folders
// (once empty), and registers it. Paths outside the private folders are
// left out. REQUIRES: nothing. Returns: false when nothing could be written
// (an existing script that is not this user's regular file is never touched).
// Nothing to remove does nothing.
bool ScheduleDeletion(const std::vector<std::string>& files, const std::vector<std::string>& folders = {});

}  // namespace kuv::zip
