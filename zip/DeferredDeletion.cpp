#include "zip/DeferredDeletion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/ReaderState.h"

namespace kuv::zip {

namespace {

constexpr const char* kScriptName = "destrucFic.sh";
constexpr const char* kEntryName = "DelFile_clsZip.desktop";

// An existing script is extended only when it is this user's own regular
// file (not a link, not a file someone else left in a shared folder).
bool IsOwnScript(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

}  // namespace

std::string AutostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return platform::JoinPath(config, "autostart");
    const char* home = std::getenv("HOME");
    return platform::JoinPath(platform::JoinPath(home && *home ? home : "/", ".config"), "autostart");
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string DesktopExecArgument(const std::string& text) {
    // Inside a quoted Exec argument '"', '`', '$' and '\' take a backslash and
    // '%' is doubled; the key's value then escapes '\' and control characters.
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

bool ScheduleDeletion(const std::vector<std::string>& files) {
    if (files.empty()) return true;
    std::string folder = platform::FolderOf(files.front());
    if (folder.empty()) folder = "/";
    const std::string script = platform::JoinPath(folder, kScriptName);
    const std::string entryFolder = AutostartFolder();
    const std::string entry = platform::JoinPath(entryFolder, kEntryName);

    std::string added;
    for (const std::string& f : files) added += "rm -f -- " + ShellQuote(f) + "\n";
    const std::string lastLine = "rm -f -- " + ShellQuote(entry) + " " + ShellQuote(script) + "\n";

    std::string content;
    std::string existing;
    if (IsOwnScript(script) && platform::ReadWholeFile(script, existing) && existing.rfind("#!/bin/sh\n", 0) == 0 &&
        existing.size() > 1 && existing.back() == '\n') {
        // Insert before the last line (the one that removes the entry and the script).
        const std::size_t lastStart = existing.rfind('\n', existing.size() - 2) + 1;
        content = existing.substr(0, lastStart) + added + lastLine;
    } else {
        content = "#!/bin/sh\n" + added + lastLine;
    }
    if (!platform::WriteWholeFile(script, content)) return false;
    chmod(script.c_str(), 0700);

    const std::string desktop = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=DelFile_clsZip\n"
                                "Exec=sh " + DesktopExecArgument(script) + "\n"
                                "NoDisplay=true\n"
                                "X-GNOME-Autostart-enabled=true\n";
    return platform::CreateFolderPath(entryFolder) && platform::WriteWholeFile(entry, desktop);
}

void ReaderState::Terminate(clsZip&) {
    ScheduleDeletion(OpenedTempFiles);
    OpenedTempFiles.clear();
}

}  // namespace kuv::zip
