#include "operations/CopyNames.h"

#include <cstdio>

#include "platform/Text.h"

namespace kuv::operations {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string FolderKey(const std::string& dataFolder) {
    std::string folder = dataFolder;
    while (!folder.empty() && !IsSeparator(folder.back())) folder.pop_back();
    if (folder.empty()) return {};
    folder.pop_back();
    const size_t last = folder.find_last_of("\\/");
    const std::string key = last == std::string::npos ? folder : folder.substr(last + 1);
    return platform::ToLower(platform::Trim(key));
}

CopyNames NamesOfCopy(const std::string& dataFolder, const std::string& backupName) {
    CopyNames names;
    names.archiveName = backupName + ".zip";
    names.folderLabel = backupName;
    names.infoFileName = "Info_sv_" + FolderKey(dataFolder) + ".txt";
    return names;
}

std::string DateStamp(const backup::DateTime& when) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d \xC3\xA0 %02d:%02d", when.day, when.month, when.year, when.hour,
                  when.minute);
    return text;
}

std::string InformationFileBytes(const std::string& folderLabel, const backup::DateTime& when) {
    return platform::EncodeTextFile("Sauvegarde du : " + DateStamp(when) + " - Dossier : " + folderLabel + "\r\n");
}

}  // namespace kuv::operations
