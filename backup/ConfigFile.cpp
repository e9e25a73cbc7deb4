// Reading and writing Kuv-Zip.ini.

#include "backup/ConfigFile.h"

#include <vector>

#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::backup {

bool ReadConfigFile(const std::string& path, ConfigLines& lines) {
    lines = ConfigLines{};
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) return false;
    std::vector<std::string> text = platform::SplitLines(platform::DecodeTextFile(bytes));
    std::string* fields[] = {&lines.dataFolder, &lines.destinationRoot, &lines.linkedProgram,
                             &lines.backupOptions};
    for (size_t i = 0; i < 4 && i < text.size(); ++i) *fields[i] = text[i];
    return true;
}

bool WriteConfigFile(const std::string& path, const ConfigLines& lines) {
    std::string text;
    for (const std::string* line :
         {&lines.dataFolder, &lines.destinationRoot, &lines.linkedProgram, &lines.backupOptions}) {
        text += *line;
        text += "\r\n";
    }
    return platform::WriteWholeFile(path, platform::EncodeTextFile(text));
}

ConfigLines ConfigFromSettings(const MainSettings& settings) {
    return ConfigLines{settings.dataFolder, settings.destinationRoot, settings.linkedProgram,
                       settings.backupOptions};
}

void ApplyConfig(const ConfigLines& lines, MainSettings& settings) {
    settings.dataFolder = lines.dataFolder;
    settings.destinationRoot = lines.destinationRoot;
    settings.linkedProgram = lines.linkedProgram;
    settings.backupOptions = lines.backupOptions;
}

}  // namespace kuv::backup
