#include "operations/ProgramRestoreJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include <QString>
#include <libdeflate.h>

#include "platform/FaultInjection.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/WorkNames.h"
#include "ui/LogCategories.h"
#include "zip/FileCrc.h"

namespace kuv::operations {

std::string RestoreUnfinishedMessage(const std::string& folder) {
    return "La restauration des programmes dans " + folder +
           " n'a pas pu être terminée : elle le sera au prochain démarrage de Kuv-Zip.";
}

bool Fingerprint(const std::string& path, JournalPair& pair) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    pair.link = S_ISLNK(st.st_mode);
    if (pair.link) {
        std::string target(4096, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n < 0) return false;
        pair.size = static_cast<std::uint64_t>(n);
        pair.crc = libdeflate_crc32(0, target.data(), static_cast<size_t>(n));
        return true;
    }
    if (!S_ISREG(st.st_mode)) return false;
    pair.mode = st.st_mode & 07777;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool read = zip::FileCrc32(fd, pair.crc, pair.size);
    close(fd);
    return read;
}

namespace {

std::string JournalPath(const std::string& folder) { return platform::JoinPath(folder, kRestoreJournal); }

// One line a pair: kind (a file's with its permissions in octal, when
// recorded), replaces, size, CRC-32, target, work (tab-separated).
std::string Serialize(const std::vector<JournalPair>& pairs) {
    std::ostringstream out;
    for (const JournalPair& p : pairs) {
        out << (p.link ? "L" : "F");
        if (!p.link && p.mode != 0) out << std::oct << p.mode << std::dec;
        out << '\t' << (p.replaces ? 1 : 0) << '\t' << p.size << '\t' << p.crc << '\t'
            << p.target << '\t' << p.work << '\n';
    }
    return out.str();
}

bool Parse(const std::string& text, std::vector<JournalPair>& pairs) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind, replaces, size, crc;
        JournalPair p;
        if (!std::getline(fields, kind, '\t') || !std::getline(fields, replaces, '\t') ||
            !std::getline(fields, size, '\t') || !std::getline(fields, crc, '\t') ||
            !std::getline(fields, p.target, '\t') || !std::getline(fields, p.work) || p.target.empty() ||
            p.work.empty() || p.target.find('/') != std::string::npos || p.work.find('/') != std::string::npos) {
            return false;
        }
        p.link = kind == "L";
        p.replaces = replaces == "1";
        try {
            if (!p.link && kind.size() > 1) p.mode = static_cast<unsigned>(std::stoul(kind.substr(1), nullptr, 8));
            p.size = std::stoull(size);
            p.crc = static_cast<std::uint32_t>(std::stoul(crc));
        } catch (const std::exception& e) {
            qCWarning(lcOperations) << "unreadable program-restore journal line:" << e.what();
            return false;
        }
        pairs.push_back(std::move(p));
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// path holds the staged file of pair.
bool HoldsNew(const std::string& path, const JournalPair& pair) {
    JournalPair now;
    return Fingerprint(path, now) && now.link == pair.link && now.size == pair.size && now.crc == pair.crc &&
           (pair.mode == 0 || now.mode == pair.mode);
}


bool Flush(const std::string& folder) {
    if (platform::InjectedFault(platform::FaultPoint::Sync)) return false;
    return platform::SyncPath(folder);
}

}  // namespace

RestoreJournal::~RestoreJournal() { Keep(); }

bool RestoreJournal::Write(const std::string& folder, const std::vector<JournalPair>& pairs) {
    for (const JournalPair& p : pairs) {
        for (const std::string* name : {&p.target, &p.work}) {
            if (name->find_first_of("\t\n") != std::string::npos) {
                qCWarning(lcOperations).noquote() << "a program file name the journal cannot hold:"
                                                  << QString::fromStdString(*name);
                return false;
            }
        }
    }
    const std::string path = JournalPath(folder);
    // Another restore's journal is never written over.
    if (RestoreJournalPresent(folder)) {
        qCWarning(lcOperations).noquote() << "another program restore is unfinished in"
                                          << QString::fromStdString(folder);
        return false;
    }
    if (!platform::WriteWholeFile(path, Serialize(pairs))) return false;
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ours = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0 && platform::StillNamed(fd_, path);
    if (ours) folder_ = folder;
    if (!ours || !Flush(folder)) {
        qCWarning(lcOperations).noquote() << "cannot write the program-restore journal in"
                                          << QString::fromStdString(folder) << ":" << std::strerror(errno);
        Remove();
        Keep();
        return false;
    }
    return true;
}

bool RestoreJournal::Remove() {
    if (folder_.empty()) return true;
    const bool ok = platform::RemoveFile(JournalPath(folder_)) && platform::SyncPath(folder_);
    folder_.clear();
    Keep();
    return ok;
}

void RestoreJournal::Keep() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool RestoreJournalPresent(const std::string& folder) { return Exists(JournalPath(folder)); }

ProgramRecoveryReport RecoverProgramRestore(const std::string& folder) {
    ProgramRecoveryReport report;
    const std::string path = JournalPath(folder);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return report;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        report.outcome = ProgramRecovery::Busy;
        return report;
    }
    if (!platform::StillNamed(fd, path)) {  // its restore has just ended
        close(fd);
        return report;
    }
    auto unfinished = [&](const std::string& why) {
        qCWarning(lcOperations).noquote() << "the interrupted program restore in" << QString::fromStdString(folder)
                                          << "cannot be finished now:" << QString::fromStdString(why);
        close(fd);
        report.outcome = ProgramRecovery::Unfinished;
        report.message = RestoreUnfinishedMessage(folder);
        return report;
    };
    std::string text;
    std::vector<JournalPair> pairs;
    if (!platform::ReadWholeFile(path, text) || !Parse(text, pairs)) return unfinished("unreadable journal");

    // Where each pair stands.
    enum class State { NotDone, Exchanged, Committed, Placed };
    std::vector<State> states;
    bool committed = false, whollyNew = true;
    for (const JournalPair& p : pairs) {
        const std::string target = platform::JoinPath(folder, p.target);
        const std::string work = platform::JoinPath(folder, p.work);
        const bool isNew = HoldsNew(target, p);
        State s;
        if (!isNew && !(p.replaces ? Exists(target) : true)) return unfinished(p.target + " is missing");
        if (!isNew) {
            s = State::NotDone;
        } else if (!p.replaces) {
            s = State::Placed;
        } else {
            s = Exists(work) ? State::Exchanged : State::Committed;
        }
        committed = committed || s == State::Committed;
        whollyNew = whollyNew && s != State::NotDone;
        states.push_back(s);
    }
    if (committed && !whollyNew) return unfinished("the old files are partly removed");

    if (committed) {
        // The replaced files were being removed: the restored set is whole,
        // the rest of the old files go.
        for (size_t i = 0; i < pairs.size(); ++i) {
            if (states[i] != State::Exchanged) continue;
            if (!platform::RemoveFile(platform::JoinPath(folder, pairs[i].work))) {
                return unfinished("cannot remove " + pairs[i].work);
            }
            ++report.undone;
        }
        report.outcome = ProgramRecovery::RolledForward;
        report.message = kRestoreRolledForward;
    } else {
        // Every old file still exists: each one is put back in its place.
        for (size_t i = pairs.size(); i-- > 0;) {
            const std::string target = platform::JoinPath(folder, pairs[i].target);
            const std::string work = platform::JoinPath(folder, pairs[i].work);
            if (states[i] == State::Exchanged) {
                if (!platform::ExchangePaths(work, target)) return unfinished("cannot put " + pairs[i].target + " back");
                ++report.undone;
            } else if (states[i] == State::Placed) {
                if (!platform::RemoveFile(target)) return unfinished("cannot remove " + pairs[i].target);
                ++report.undone;
            }
        }
        if (!platform::SyncPath(folder)) return unfinished("cannot flush the folder");
        // The staged files (or, after a put-back, the restored ones) go.
        for (const JournalPair& p : pairs) {
            if (!platform::RemoveFile(platform::JoinPath(folder, p.work))) return unfinished("cannot remove " + p.work);
        }
        report.outcome = ProgramRecovery::RolledBack;
        report.message = kRestoreRolledBack;
    }
    if (!platform::RemoveFile(path) || !platform::SyncPath(folder)) return unfinished("cannot remove the journal");
    close(fd);
    qCInfo(lcOperations).noquote() << "interrupted program restore in" << QString::fromStdString(folder)
                                   << (report.outcome == ProgramRecovery::RolledBack ? "rolled back" : "finished")
                                   << "-" << report.undone << "files";
    return report;
}

}  // namespace kuv::operations
