#pragma once
// The configuration file Kuv-Zip.ini, in the working directory: four lines,
// each ended by CR LF, Windows-1252 (UTF-8 when a character does not fit):
//   1 data folder, 2 destination root, 3 linked program ("#L#" + command
//   line, or empty), 4 backup options.
// A missing file or line leaves the setting empty; nothing else is read.

#include <string>

#include "ui/MainSettings.h"

namespace kuv::backup {

inline constexpr const char* kConfigFileName = "Kuv-Zip.ini";

struct ConfigLines {
    std::string dataFolder;
    std::string destinationRoot;
    std::string linkedProgram;
    std::string backupOptions;
};

// The four lines of the file (each empty when missing). False when the file
// cannot be read; the lines are then all empty.
bool ReadConfigFile(const std::string& path, ConfigLines& lines);

// Creates or replaces the file with the four lines. False when it cannot be
// written.
bool WriteConfigFile(const std::string& path, const ConfigLines& lines);

// The four settings of the file, from and into the main window's settings.
ConfigLines ConfigFromSettings(const MainSettings& settings);
void ApplyConfig(const ConfigLines& lines, MainSettings& settings);

}  // namespace kuv::backup
