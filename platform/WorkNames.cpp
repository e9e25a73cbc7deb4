#include "platform/WorkNames.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "platform/UniqueFd.h"

namespace kuv::platform {

namespace {

bool AllOf(std::string_view s, bool (*pred)(char)) {
    if (s.empty()) return false;
    for (char c : s)
        if (!pred(c)) return false;
    return true;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Alnum(char c) { return Digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

long PartFileProcess(std::string_view name) {
    constexpr std::string_view head = ".kuvzip-", tail = ".part";
    if (name.size() <= head.size() + tail.size() || name.substr(0, head.size()) != head ||
        name.substr(name.size() - tail.size()) != tail)
        return 0;
    const std::string_view middle = name.substr(head.size(), name.size() - head.size() - tail.size());
    const std::size_t dash = middle.find('-');
    if (dash == std::string_view::npos || dash > 9 || !AllOf(middle.substr(0, dash), Digit) ||
        !AllOf(middle.substr(dash + 1), Digit))
        return 0;
    return std::stol(std::string(middle.substr(0, dash)));
}

bool IsWorkName(std::string_view name) {
    const std::string_view staging = kRestoreStagingPrefix;
    if (name.size() == staging.size() + 6 && name.substr(0, staging.size()) == staging &&
        AllOf(name.substr(staging.size()), Alnum))
        return true;
    const std::string_view journal = kRestoreJournalName;
    if (name.substr(0, journal.size()) == journal) return true;  // the journal and its temporary file
    if (PartFileProcess(name) != 0) return true;
    constexpr std::string_view work = ".kuvzip-";
    return name.size() == work.size() + 6 && name.substr(0, work.size()) == work &&
           AllOf(name.substr(work.size()), Alnum);
}

bool StillNamed(int fd, const std::string& path) {
    struct stat open {}, named {};
    return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

WorkFileRemoval RemoveUnusedWorkFile(const std::string& folder, const std::string& name, bool (*accept)(int fd)) {
    const std::string path = JoinPath(folder.empty() ? "/" : folder, name);
    struct stat named {};
    if (lstat(path.c_str(), &named) != 0) return WorkFileRemoval::Gone;
    if (!S_ISREG(named.st_mode) || named.st_uid != geteuid()) return WorkFileRemoval::NotOurs;
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? WorkFileRemoval::Gone : WorkFileRemoval::NotOurs;
    struct stat open {};
    if (fstat(fd.get(), &open) != 0 || !S_ISREG(open.st_mode) || open.st_uid != geteuid())
        return WorkFileRemoval::NotOurs;
    if (accept && !accept(fd.get())) return WorkFileRemoval::NotOurs;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return WorkFileRemoval::InUse;
    // The name must still lead to the file now locked.
    if (!StillNamed(fd.get(), path)) return WorkFileRemoval::Gone;
    return unlink(path.c_str()) == 0 ? WorkFileRemoval::Removed : WorkFileRemoval::Failed;
}

bool RestorePending(const std::string& dataFolder, std::string* reason) {
    if (dataFolder.empty()) return false;
    const std::string journal = JoinPath(dataFolder, kRestoreJournalName);
    UniqueFd fd(open(journal.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd && !PathExists(journal)) return false;
    // The restoring process holds its journal locked.
    if (fd && flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        if (reason)
            *reason = "Une restauration de " + dataFolder +
                      " est en cours : aucune sauvegarde ni restauration de ce dossier ne peut être faite pendant ce "
                      "temps.";
        return true;
    }
    if (reason)
        *reason = "Une restauration interrompue de " + dataFolder +
                  " n'a pas pu être terminée : aucune sauvegarde ni restauration de ce dossier ne sera faite "
                  "avant qu'elle le soit (relancez Kuv-Zip pour la terminer).";
    return true;
}

}  // namespace kuv::platform
