#include "operations/CopyNames.h"

#include <cstdio>

#include "backup/ArchiveNaming.h"
#include "platform/Text.h"

namespace kuv::operations {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsRefused(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
}

bool IsDeviceName(const std::string& name) {
    const std::string upper = platform::ToUpper(name);
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

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

std::string PortableName(const std::string& text) {
    std::string name;
    for (const char c : backup::SafeName(text)) {
        if (!IsRefused(static_cast<unsigned char>(c))) name += c;
    }
    if (IsDeviceName(name)) name += '_';
    return name;
}

CopyNames NamesOfCopy(const std::string& dataFolder, const std::string& backupName) {
    std::string name = PortableName(platform::Trim(backupName));
    if (name.empty()) name = "kuvchier";
    CopyNames names;
    names.archiveName = name + ".zip";
    names.folderLabel = name;
    names.infoFileName = "Info_sv_" + PortableName(FolderKey(dataFolder)) + ".txt";
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
