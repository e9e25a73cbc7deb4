#include "restore/BackupComparison.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "platform/Files.h"
#include "platform/WorkNames.h"
#include "zip/FileCrc.h"
#include "zip/clsZip.h"

namespace kuv::restore {

namespace {

// The precision of the archive's dates.
constexpr std::time_t kDateSlack = 2;

bool ListUnder(const std::string& root, const std::string& rel, std::vector<FolderFile>& out) {
    bool ok = false;
    const auto entries = platform::ListFolder(rel.empty() ? root : platform::JoinPath(root, rel), "*", &ok);
    if (!ok) return false;
    for (const platform::FolderEntry& e : entries) {
        if (platform::IsWorkName(e.name) || e.isLink) continue;
        if (rel.empty() && e.kind == platform::EntryKind::Folder && e.name.rfind("Avant restauration ", 0) == 0) continue;
        const std::string child = rel.empty() ? e.name : rel + "/" + e.name;
        if (e.kind == platform::EntryKind::Folder) {
            if (!ListUnder(root, child, out)) return false;
        } else if (e.kind == platform::EntryKind::Regular) {
            FolderFile f{child, 0, 0};
            const std::string full = platform::JoinPath(root, child);
            platform::FileSize(full, f.size);
            platform::ModificationTime(full, f.modified);
            out.push_back(std::move(f));
        }
    }
    return true;
}

QString Folded(const std::string& text) {
    const QString decomposed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                                   .normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out.append(c);
    return out.toCaseFolded();
}

}  // namespace

const char* StateText(FileState state) {
    switch (state) {
        case FileState::Identical: return "identique";
        case FileState::Modified: return "modifié";
        case FileState::AbsentFromFolder: return "absent du dossier";
        case FileState::ToCheck: return "à vérifier";
        case FileState::OnlyInFolder: return "seulement dans le dossier";
        case FileState::NotCompared: return "";
    }
    return "";
}

std::vector<BackupMember> ListMembers(const clsZip& engine) {
    std::vector<BackupMember> members;
    for (const clsZip::MemberTarget& t : engine.FileTargets()) {
        BackupMember m{t.path, t.number, t.size, t.crc32, 0, engine.FileDateAndTimeValid(t.number)};
        if (m.dateKnown) m.modified = platform::FromLocalDateTime(engine.FileDateAndTime(t.number));
        members.push_back(std::move(m));
    }
    return members;
}

std::vector<FolderFile> ListDataFolder(const std::string& dataFolder, bool* ok) {
    std::vector<FolderFile> files;
    const bool whole = ListUnder(dataFolder, "", files);
    if (ok) *ok = whole;
    return files;
}

std::vector<ComparedFile> Compare(const std::vector<BackupMember>& members, const std::vector<FolderFile>& folder) {
    std::unordered_map<std::string, const FolderFile*> byPath;
    byPath.reserve(folder.size());
    for (const FolderFile& f : folder) byPath.emplace(f.path, &f);
    std::set<std::string> held;
    std::vector<ComparedFile> out;
    out.reserve(members.size() + folder.size());
    for (const BackupMember& m : members) {
        held.insert(m.path);
        ComparedFile c{m.path, FileState::AbsentFromFolder, m.number, m.size, m.modified, m.crc32};
        const auto it = byPath.find(m.path);
        if (it != byPath.end()) {
            const FolderFile& f = *it->second;
            const std::time_t gap = f.modified > m.modified ? f.modified - m.modified : m.modified - f.modified;
            c.state = f.size != m.size                  ? FileState::Modified
                      : m.dateKnown && gap <= kDateSlack ? FileState::Identical
                                                         : FileState::ToCheck;
        }
        out.push_back(std::move(c));
    }
    std::vector<ComparedFile> extra;
    for (const FolderFile& f : folder)
        if (!held.count(f.path)) extra.push_back({f.path, FileState::OnlyInFolder, 0, f.size, f.modified, 0});
    std::sort(extra.begin(), extra.end(), [](const ComparedFile& a, const ComparedFile& b) { return a.path < b.path; });
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

std::vector<ComparedFile> Listed(const std::vector<BackupMember>& members) {
    std::vector<ComparedFile> out;
    out.reserve(members.size());
    for (const BackupMember& m : members)
        out.push_back({m.path, FileState::NotCompared, m.number, m.size, m.modified, m.crc32});
    return out;
}

StateCounts CountStates(const std::vector<ComparedFile>& files) {
    StateCounts n;
    for (const ComparedFile& f : files) {
        switch (f.state) {
            case FileState::Identical: ++n.identical; break;
            case FileState::Modified: ++n.modified; break;
            case FileState::AbsentFromFolder: ++n.absent; break;
            case FileState::ToCheck: ++n.toCheck; break;
            case FileState::OnlyInFolder: ++n.onlyInFolder; break;
            case FileState::NotCompared: ++n.notCompared; break;
        }
    }
    return n;
}

bool SettleByCrc(ComparedFile& file, const std::string& dataFolder) {
    if (file.state != FileState::ToCheck) return false;
    const std::string path = platform::JoinPath(dataFolder, file.path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    const bool read = fd >= 0 && zip::FileCrc32(fd, crc, size);
    if (fd >= 0) close(fd);
    file.state = read && size == file.size && crc == file.crc32 ? FileState::Identical : FileState::Modified;
    return true;
}

std::string RestoreCountsLine(const StateCounts& n) {
    return std::to_string(n.modified + n.toCheck) + " fichiers seront remplacés, " + std::to_string(n.absent) +
           " ajoutés, " + std::to_string(n.identical) + " identiques ; " + std::to_string(n.onlyInFolder) +
           " fichiers du dossier ne sont pas dans la sauvegarde et resteront.";
}

std::string RestoreCountsLineFor(const std::string& archivePath, const std::string& dataFolder) {
    clsZip engine;
    engine.Events.ZipError = [](std::int32_t, const std::string&, bool&) {};  // the restore tells
    if (archivePath.empty() || !engine.ZipOpen(archivePath)) return {};
    bool listed = false;
    const std::vector<FolderFile> folder = ListDataFolder(dataFolder, &listed);
    if (!listed) return {};
    return RestoreCountsLine(CountStates(Compare(ListMembers(engine), folder)));
}

bool MatchesFilter(const std::string& name, const std::string& filter) {
    if (filter.empty()) return true;
    return Folded(name).contains(Folded(filter));
}

}  // namespace kuv::restore
