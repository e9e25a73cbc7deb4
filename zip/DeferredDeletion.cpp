#include "zip/DeferredDeletion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "zip/ArchiveWriter.h"
#include "zip/ReaderState.h"

namespace kuv::zip {

namespace {

constexpr const char* kScriptName = "destrucFic.sh";
constexpr const char* kEntryName = "DelFile_clsZip.desktop";
constexpr const char* kPrivatePrefix = "Kuv-Zip-";
constexpr const char* kShebang = "#!/bin/sh";

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

bool IsNameChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// An absolute path whose parts are neither empty, "." nor "..".
bool IsPlainAbsolute(const std::string& path) {
    if (path.size() < 2 || path[0] != '/' || path.back() == '/') return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return path.find('\0') == std::string::npos;
}

// The script's folder, made when missing: a folder of this user, mode 0700.
bool PrepareScriptFolder(const std::string& folder) {
    const std::string parent = platform::FolderOf(folder);
    if (!parent.empty() && !platform::CreateFolderPath(parent)) return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    platform::UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
    return (st.st_mode & 07777) == 0700 || fchmod(fd.get(), 0700) == 0;
}

// Reads an existing script when it is this user's regular file. Returns:
// 1 read, 0 there is none, -1 there is one that must not be touched.
int ReadOwnScript(const std::string& path, std::string& text) {
    platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? 0 : -1;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return -1;
    text.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > (16u << 20)) return -1;  // not a script this engine wrote
    }
    return 1;
}

bool WriteAllTo(int fd, const std::string& text) { return platform::WriteAllAt(fd, text.data(), text.size(), 0); }

}  // namespace

std::string AutostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return platform::JoinPath(config, "autostart");
    return platform::JoinPath(platform::JoinPath(HomeFolder(), ".config"), "autostart");
}

std::string DeletionScriptFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache == '/') return platform::JoinPath(cache, "Kuv-Zip");
    return platform::JoinPath(platform::JoinPath(HomeFolder(), ".cache"), "Kuv-Zip");
}

std::string MakePrivateFolder() {
    std::string folder = platform::TempFolder();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::string tmpl = platform::JoinPath(folder, std::string(kPrivatePrefix) + "XXXXXX");
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};  // mkdtemp makes it 0700
    return platform::FullPath(name.data());
}

bool IsPrivateFolder(const std::string& path) {
    if (!IsPlainAbsolute(path)) return false;
    const std::string name = platform::FileNameOf(path);
    const std::string prefix = kPrivatePrefix;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (!IsNameChar(name[i])) return false;
    return true;
}

bool IsInPrivateFolder(const std::string& path) {
    return IsPlainAbsolute(path) && IsPrivateFolder(platform::FolderOf(path));
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

bool ParseDeletionLine(const std::string& line, std::string& path, bool& folder) {
    std::string word;
    if (line.rfind("rm -f -- ", 0) == 0) {
        folder = false;
        word = line.substr(9);
    } else if (line.rfind("rmdir -- ", 0) == 0) {
        folder = true;
        word = line.substr(9);
    } else {
        return false;
    }
    // One shell word made of '...' pieces and \' between them.
    path.clear();
    std::size_t i = 0;
    if (word.empty()) return false;
    while (i < word.size()) {
        if (word[i] == '\'') {
            const std::size_t close = word.find('\'', i + 1);
            if (close == std::string::npos) return false;
            path.append(word, i + 1, close - i - 1);
            i = close + 1;
        } else if (word.compare(i, 2, "\\'") == 0) {
            path += '\'';
            i += 2;
        } else {
            return false;  // a blank, a second word, anything unquoted
        }
    }
    return true;
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

bool ScheduleDeletion(const std::vector<std::string>& files, const std::vector<std::string>& folders) {
    std::vector<std::string> fileLines, folderLines;
    std::set<std::string> seen;
    auto addFile = [&](const std::string& p) {
        if (IsInPrivateFolder(p) && seen.insert("f" + p).second) fileLines.push_back("rm -f -- " + ShellQuote(p));
    };
    auto addFolder = [&](const std::string& p) {
        if (IsPrivateFolder(p) && seen.insert("d" + p).second) folderLines.push_back("rmdir -- " + ShellQuote(p));
    };
    for (const std::string& f : files) addFile(f);
    for (const std::string& d : folders) addFolder(d);
    if (fileLines.empty() && folderLines.empty()) return true;

    const std::string scriptFolder = DeletionScriptFolder();
    if (!PrepareScriptFolder(scriptFolder)) return false;
    const std::string script = platform::JoinPath(scriptFolder, kScriptName);
    const std::string entryFolder = AutostartFolder();
    const std::string entry = platform::JoinPath(entryFolder, kEntryName);

    std::string existing;
    const int found = ReadOwnScript(script, existing);
    if (found < 0) return false;
    // An earlier script's lines are kept when they remove what this engine
    // may remove; anything else it held is dropped.
    std::vector<std::string> oldFiles, oldFolders;
    if (found == 1) {
        for (const std::string& line : platform::SplitLines(existing)) {
            std::string p;
            bool isFolder = false;
            if (!ParseDeletionLine(line, p, isFolder)) continue;
            if (isFolder) {
                if (IsPrivateFolder(p) && seen.insert("d" + p).second) oldFolders.push_back(line);
            } else if (IsInPrivateFolder(p) && seen.insert("f" + p).second) {
                oldFiles.push_back(line);
            }
        }
    }
    std::string content = std::string(kShebang) + "\n";
    for (const auto* lines : {&oldFiles, &fileLines, &oldFolders, &folderLines})
        for (const std::string& line : *lines) content += line + "\n";
    content += "rm -f -- " + ShellQuote(entry) + " " + ShellQuote(script) + "\n";

    if (found == 0) {
        platform::UniqueFd fd(open(script.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700));
        if (!fd || !WriteAllTo(fd.get(), content) || !fd.Close()) return false;
    } else {
        // The new text goes in whole: written beside it, renamed over it.
        std::string work;
        platform::UniqueFd fd(CreateWorkFile(script, 0700, work));
        if (!fd) return false;
        const bool ok = WriteAllTo(fd.get(), content) && fd.Close() && platform::RenameReplace(work, script);
        if (!ok) {
            unlink(work.c_str());
            return false;
        }
    }

    const std::string desktop = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=DelFile_clsZip\n"
                                "Exec=sh " + DesktopExecArgument(script) + "\n"
                                "NoDisplay=true\n"
                                "X-GNOME-Autostart-enabled=true\n";
    return platform::CreateFolderPath(entryFolder) && platform::WriteWholeFile(entry, desktop);
}

void ReaderState::Terminate() {
    if (privateFolder.empty()) {
        OpenedTempFiles.clear();
        return;
    }
    std::set<std::string> opened;
    for (const std::string& f : OpenedTempFiles)
        if (platform::FolderOf(f) == privateFolder) opened.insert(f);
    // Members taken out but never handed to a program go now.
    for (const platform::FolderEntry& e : platform::ListFolder(privateFolder, "*")) {
        const std::string p = platform::JoinPath(privateFolder, e.name);
        if (!opened.count(p)) unlink(p.c_str());
    }
    if (opened.empty()) rmdir(privateFolder.c_str());
    else ScheduleDeletion(std::vector<std::string>(opened.begin(), opened.end()), {privateFolder});
    OpenedTempFiles.clear();
    privateFolder.clear();
}

}  // namespace kuv::zip
