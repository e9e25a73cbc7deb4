#include "operations/ProgramFiles.h"

#include <sys/stat.h>

#include <utility>

#include "backup/DataBackupJob.h"
#include "operations/CopyNames.h"
#include "operations/SafeCopy.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::operations {

namespace {

bool Holds(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool IsExecutable(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

// Two paths lead to the same file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

bool IsProgramFile(const std::string& name, bool executable) {
    const std::string lower = platform::ToLower(name);
    if (Holds(lower, "kuvzip.exe") || IsWorkName(name)) return false;
    if (Holds(lower, ".exe") || Holds(lower, ".dll") || Holds(lower, ".ocx") || Holds(lower, ".so")) return true;
    return executable;
}

std::string CountMessage(int made, const char* what, int failed) {
    std::string text = std::to_string(made) + what;
    if (failed > 0) text += backup::kMessageBreak + std::to_string(failed) + kFilesNotCopied;
    return text;
}

ProgramFileCommands::ProgramFileCommands(ProgramFilesContext context) : ctx_(std::move(context)) {}

void ProgramFileCommands::Message(const std::string& text) {
    DialogMode = kDialogMessage;
    DialogText = text;
    ctx_.dialog.ShowDialog();
}

bool ProgramFileCommands::IsRunningProgram(const std::string& path) const {
    return !ctx_.runningExecutable.empty() && SameFile(path, ctx_.runningExecutable);
}

ProgramFileCommands::Counts ProgramFileCommands::CopyProgramFiles(const std::string& fromFolder,
                                                                  const std::vector<std::string>& names,
                                                                  const std::string& toFolder) {
    Counts counts;
    for (const std::string& name : names) {
        const std::string from = platform::JoinPath(fromFolder, name);
        const std::string to = platform::JoinPath(toFolder, name);
        if (!IsProgramFile(name, IsExecutable(from))) continue;
        if (IsRunningProgram(from) || IsRunningProgram(to)) continue;
        if (ReplaceFile(from, to, [this] { ctx_.pump.DoEvents(); }).Ok()) {
            ++counts.made;
        } else {
            ++counts.failed;
        }
        ctx_.pump.DoEvents();
    }
    return counts;
}

int ProgramFileCommands::Backup() {
    const std::string folder = ctx_.installationFolder();
    const std::vector<std::string> names = platform::RegularFileNames(folder);
    ctx_.view.ShowProgramFiles(names);
    const std::string saved = platform::JoinPath(folder, kProgramBackupFolder);
    platform::CreateFolder(saved);

    ctx_.view.SetBusyPointer(true);
    const Counts counts = CopyProgramFiles(folder, names, saved);
    platform::WriteWholeFile(platform::JoinPath(saved, kProgramMarker),
                             platform::EncodeTextFile(DateStamp(ctx_.clock.Now()) + "\r\n"));
    ctx_.view.SetBusyPointer(false);
    Message(CountMessage(counts.made, kProgramsSaved, counts.failed));
    return counts.made;
}

int ProgramFileCommands::Restore() {
    const std::string folder = ctx_.installationFolder();
    const std::string saved = platform::JoinPath(folder, kProgramBackupFolder);
    platform::CreateFolder(saved);
    const std::vector<std::string> names = platform::RegularFileNames(saved);
    ctx_.view.ShowSavedProgramFiles(saved, names);
    if (names.empty()) {
        Message(kNoOldVersion);
        return 0;
    }

    std::string markerLine;
    std::string bytes;
    if (platform::ReadWholeFile(platform::JoinPath(saved, kProgramMarker), bytes)) {
        const std::vector<std::string> lines = platform::SplitLines(platform::DecodeTextFile(bytes));
        if (!lines.empty()) markerLine = lines.front();
    }
    DialogMode = kDialogConfirmUpper;
    DialogText = kConfirmRestoreStart + markerLine + kConfirmRestoreEnd;
    ctx_.dialog.ShowDialog();
    if (platform::Trim(platform::ToUpper(DialogText)) != "OUI") return 0;

    ctx_.view.SetBusyPointer(true);
    const Counts counts = CopyProgramFiles(saved, names, folder);
    ctx_.view.SetBusyPointer(false);
    Message(CountMessage(counts.made, kProgramsRestored, counts.failed));
    return counts.made;
}

}  // namespace kuv::operations
