#include "platform/FolderTree.h"

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/FaultInjection.h"
#include "platform/Files.h"

namespace kuv::platform {

std::string MakeUniqueFolder(const std::string& parent, const std::string& prefix) {
    std::string pattern = JoinPath(parent, prefix + "XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return {};
    return std::string(buffer.data());
}

namespace {

int RemoveEntry(const char* path, const struct stat*, int kind, struct FTW*) {
    const int rc = kind == FTW_DP ? rmdir(path) : unlink(path);
    return rc == 0 || errno == ENOENT ? 0 : -1;
}

}  // namespace

bool RemoveTree(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0 || errno == ENOENT;
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    return lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (InjectedFault(FaultPoint::Rename)) return false;
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool ExchangePaths(const std::string& a, const std::string& b) {
    if (InjectedFault(FaultPoint::Rename)) return false;
    return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

bool MakeNewFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

PathKind KindOfPath(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return PathKind::Missing;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool SyncFileSystem(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = SyncFileSystemOf(fd);
    close(fd);
    return ok;
}

bool SyncFileSystemOf(int fd) {
    if (InjectedFault(FaultPoint::Sync)) return false;
    return syncfs(fd) == 0;
}

bool IsWritableFolder(const std::string& path) { return IsFolder(path) && access(path.c_str(), W_OK | X_OK) == 0; }

std::string WritableProgramFolder() {
    const std::string folder = ProgramFolder();
    return IsWritableFolder(folder) ? folder : CurrentFolder();
}

}  // namespace kuv::platform
