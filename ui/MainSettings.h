#pragma once
// The main window's settings and flags: one set for the whole run of the
// program. Startup fills them from Kuv-Zip.ini and the link file; the backup
// job and the other operations read them, and some set flags before running
// the job. Settings start empty and flags false; once set, a flag stays set
// until the program ends.

#include <memory>
#include <string>

class clsZip;

namespace kuv::backup {

struct MainSettings {
    // ---- settings (UTF-8 text) ----
    std::string dataFolder;          // line 1 of Kuv-Zip.ini: the folder backed up, no trailing "\"
    std::string destinationRoot;     // line 2: "E:" or a network path; also set by the destination list
    std::string linkedProgram;       // line 3: empty, or "#L#" + the command line started on quit
    std::string backupOptions;       // line 4: free text holding option tokens
    std::string backupFolderName;    // "S_" + the reduced data folder
    std::string backupName;          // link-file "nom_zip_s", trimmed; "kuvchier" when empty
    std::string desktopArchiveName;  // link-file "NOMFICATO", trimmed; "kuvchier" when empty
    std::string exchangeFolder;      // link-file "RES2Z4IU4", trimmed, markers removed

    // ---- flags ----
    bool automaticCopy = false;   // "{AUTO}" in the exchange folder value
    bool noFinalMessage = false;  // "{NOAT}"
    bool endAtOnce = false;       // "{CLOS}"
    bool autoQuit = false;        // a request under "SAVAUT55" or "SAVAUT56"
    bool noWarning = false;       // "NOSIG" inside the "SAVAUT56" value
    bool copyMode = false;        // the backup job writes its archive on the desktop
    bool silentMode = false;      // the backup job shows no final message
};

}  // namespace kuv::backup
