// The restore window's logic.

#include "restore/RestoreWindowLogic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>

#include "backup/ArchiveNaming.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "restore/BackupComparison.h"
#include "restore/BackupListing.h"
#include "restore/StartRecovery.h"
#include "zip/clsZip.h"

namespace kuv::restore {

using platform::JoinPath;
using platform::Trim;

namespace {

// Every step of the window's handlers runs under a continue-on-error rule: a
// step that fails is skipped and the next one runs.
template <typename Action>
bool Step(Action&& action) {
    try {
        action();
        return true;
    } catch (const std::exception&) {
    } catch (...) {
    }
    return false;
}

// The regular files of folder matching one of the ';'-separated patterns,
// without regard to case, in name order.
std::vector<std::string> MatchingFiles(const std::string& folder, const std::string& patterns) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= patterns.size()) {
        const size_t end = std::min(patterns.find(';', start), patterns.size());
        const std::string pattern = patterns.substr(start, end - start);
        for (const platform::FolderEntry& e : platform::ListFolder(folder, pattern))
            if (e.kind == platform::EntryKind::Regular) names.push_back(e.name);
        start = end + 1;
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return platform::LessNoCase(a, b) || (!platform::LessNoCase(b, a) && a < b);
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::string Two(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

// The message of a restore that did not put every file in place.
const char* OutcomeText(RestoreResult result) {
    switch (result) {
        case RestoreResult::Damaged: return kDamaged;
        case RestoreResult::DiskFull: return kDiskFull;
        case RestoreResult::ReadError: return kUnreadable;
        case RestoreResult::Incomplete: return kIncomplete;
        case RestoreResult::Blocked: return kBlocked;
        default: return kNotDone;
    }
}

}  // namespace

std::string RestoreFailureText(const RestoreOutcome& outcome, const std::string& shownKeptFolder) {
    std::string text = OutcomeText(outcome.result);
    if (!outcome.detail.empty()) text += std::string(kLineBreak) + outcome.detail;
    if (outcome.errorNumber != 0)
        text += std::string(kLineBreak) + "Erreur " + std::to_string(outcome.errorNumber) + " - " + outcome.errorText;
    if (outcome.result == RestoreResult::Incomplete && !outcome.keptFolderName.empty())
        text += std::string(kLineBreak) + kKeptIn + shownKeptFolder;
    return text;
}

// Marks the window busy while an operation runs on MonZip.
class RestoreWindowLogic::BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

RestoreWindowLogic::RestoreWindowLogic(RestoreWindowContext context) : ctx_(std::move(context)) {}

RestoreWindowLogic::~RestoreWindowLogic() = default;

void RestoreWindowLogic::CreateEngine() {
    engine_ = std::make_unique<clsZip>();
    engine_->Events.Status = [this](const std::string& text) { ctx_.view.SetStatus(text); };
    engine_->Events.ZipError = [this](std::int32_t number, const std::string& text, bool&) {
        // The cancel flag stays False: a CRC error never forces a write.
        ctx_.view.ShowEngineError(std::string(kEngineErrorTitle) + kLineBreak + "Erreur " + std::to_string(number) +
                                  " - " + text);
    };
    engine_->Events.DoEvents = [this] { ctx_.pump.DoEvents(); };
}

int RestoreWindowLogic::CDriveIndex() const {
    for (size_t i = 0; i < ctx_.drives.size(); ++i)
        if (ctx_.drives[i].Letter() == 'c') return static_cast<int>(i);
    return ctx_.drives.empty() ? -1 : 0;
}

std::string RestoreWindowLogic::DataFolder() const {
    const std::string text = Trim(ctx_.settings.dataFolder);
    if (text.empty()) return {};
    return platform::ResolveDrivePath(text, ctx_.drives);
}

void RestoreWindowLogic::Load() {
    Step([&] { ctx_.view.PlaceList2(kList2Left, kList2Top); });
    Step([&] { ctx_.view.DressWindow(); });
    Step([&] { CreateEngine(); });
    Step([&] { ctx_.view.SetModeMarker(""); });
    // A restore interrupted by a crash is finished (or its leftovers
    // removed) before anything else, and the user is told.
    Step([&] { RecoverAndTell(DataFolder(), false, &ctx_.dialog, nullptr); });
    // Drive1: the destination root's drive; Dir1: the backup folder on it.
    const std::string root = Trim(ctx_.settings.destinationRoot);
    bool found = false;
    Step([&] {
        const platform::DriveEntry* drive = platform::DriveOfPath(root, ctx_.drives);
        if (drive == nullptr && !root.empty() && root[0] == '/') {
            // A Linux path: the drive whose root holds it (the longest).
            for (const platform::DriveEntry& d : ctx_.drives) {
                const std::string& r = d.rootPath;
                const bool under = root == r || (root.rfind(r, 0) == 0 && (r.back() == '/' || root[r.size()] == '/'));
                if (under && (drive == nullptr || r.size() > drive->rootPath.size())) drive = &d;
            }
        }
        if (drive == nullptr) return;
        const std::string folder =
            platform::ResolveDrivePath(backup::MediumFolder(root, ctx_.settings.backupFolderName), ctx_.drives);
        if (folder.empty() || !platform::IsFolder(folder)) return;
        driveIndex_ = static_cast<int>(drive - ctx_.drives.data());
        std::vector<std::string> texts;
        for (const platform::DriveEntry& d : ctx_.drives) texts.push_back(d.text);
        ctx_.view.ShowDrives(texts, driveIndex_);
        SetFolder(folder);
        found = true;
    });
    if (!found) Step([&] { SetDrive(CDriveIndex()); });
    Step([&] { ctx_.view.SetButtonPictures(); });
}

void RestoreWindowLogic::Unload() { engine_.reset(); }

void RestoreWindowLogic::SetDrive(int index) {
    if (index < 0 || index >= static_cast<int>(ctx_.drives.size())) return;
    driveIndex_ = index;
    std::vector<std::string> texts;
    for (const platform::DriveEntry& d : ctx_.drives) texts.push_back(d.text);
    ctx_.view.ShowDrives(texts, driveIndex_);
    SetFolder(ctx_.drives[static_cast<size_t>(index)].rootPath);
}

void RestoreWindowLogic::DriveChange(int index) {
    if (busy_) return;
    Step([&] { SetDrive(index); });
}

void RestoreWindowLogic::SetFolder(const std::string& path) {
    dir1Path_ = path;
    folders_.clear();
    std::string root = driveIndex_ >= 0 ? ctx_.drives[static_cast<size_t>(driveIndex_)].rootPath : std::string("/");
    if (path.rfind(root, 0) != 0) root = path;
    const std::string letter =
        driveIndex_ >= 0 ? std::string(1, ctx_.drives[static_cast<size_t>(driveIndex_)].Letter()) + ":\\" : root;
    folders_.push_back({letter, root, 0, true});
    std::string rest = path.substr(root.size());
    std::string current = root;
    int depth = 0;
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos) end = rest.size();
        if (end > start) {
            current = JoinPath(current, rest.substr(start, end - start));
            folders_.push_back({rest.substr(start, end - start), current, ++depth, true});
        }
        start = end + 1;
    }
    const int currentIndex = static_cast<int>(folders_.size()) - 1;
    for (const platform::FolderEntry& e : platform::ListFolder(path))
        if (e.kind == platform::EntryKind::Folder) folders_.push_back({e.name, JoinPath(path, e.name), depth + 1, false});
    ctx_.view.ShowFolders(folders_, currentIndex);
    SetFilesPath(path);
}

void RestoreWindowLogic::FolderChange(int itemIndex) {
    if (busy_ || itemIndex < 0 || itemIndex >= static_cast<int>(folders_.size())) return;
    const std::string path = folders_[static_cast<size_t>(itemIndex)].path;
    Step([&] { SetFolder(path); });
}

void RestoreWindowLogic::SetFilesPath(const std::string& path) {
    file1Path_ = path;
    files_ = MatchingFiles(path, kFilePattern);
    ctx_.view.ShowFiles(files_);
    RebuildList1();
}

void RestoreWindowLogic::RebuildList1() {
    list1_.clear();
    list1Selected_ = -1;
    for (const std::string& name : files_) {
        Step([&] {
            if (auto entry = List1Entry(name)) list1_.push_back(*entry);
        });
    }
    if (!list1_.empty()) list1Selected_ = static_cast<int>(list1_.size()) - 1;
    ctx_.view.ShowList1(list1_, list1Selected_);
    ctx_.view.SetChoice(list1_.empty() ? std::string() : ChoiceText(list1_.back()));
}

void RestoreWindowLogic::File1DoubleClick(int index) {
    if (busy_ || index < 0 || index >= static_cast<int>(files_.size()) || !engine_) return;
    BusyScope busy(busy_);
    archivePath_ = JoinPath(file1Path_, files_[static_cast<size_t>(index)]);
    Step([&] { engine_->ZipOpen(archivePath_); });
    Step([&] { ctx_.view.SetMemberCount(std::to_string(engine_->inFileCount())); });
}

void RestoreWindowLogic::List1Click(int index) {
    if (busy_ || index < 0 || index >= static_cast<int>(list1_.size())) return;
    list1Selected_ = index;
    ctx_.view.SetChoice(ChoiceText(list1_[static_cast<size_t>(index)]));
}

void RestoreWindowLogic::List2Click(int index) {
    if (busy_ || index < 0 || index >= static_cast<int>(list2_.size())) return;
    list2Selected_ = index;
    ctx_.view.SetChoice(ChoiceText(list2_[static_cast<size_t>(index)]));
}

void RestoreWindowLogic::ToggleOneDrive() { ToggleCloud("OneDrive"); }

void RestoreWindowLogic::ToggleDropbox() { ToggleCloud("Dropbox"); }

void RestoreWindowLogic::ToggleCloud(const char* folderName) {
    if (busy_) return;
    if (modeMarker_.empty()) {
        Step([&] { ctx_.view.ShowCloudMode(true); });
        Step([&] {
            cloudFolder_ = JoinPath(ctx_.specialFolders.SpecialFolderPath(40), folderName);
        });
        list2_.clear();
        list2Archives_.clear();
        list2Selected_ = -1;
        const std::vector<std::string> infoFiles = MatchingFiles(cloudFolder_, kInfoPattern);
        Step([&] { ctx_.view.ShowInfoFiles(infoFiles); });
        for (const std::string& name : infoFiles) Step([&] { AddCloudCopies(name); });
        Step([&] { ctx_.view.ShowList2(list2_, list2Selected_); });
        modeMarker_ = kCloudMarker;
        Step([&] { ctx_.view.SetModeMarker(modeMarker_); });
    } else {
        modeMarker_.clear();
        Step([&] { ctx_.view.SetModeMarker(""); });
        Step([&] { ctx_.view.ShowCloudMode(false); });
    }
    Step([&] { ctx_.pump.DoEvents(); });
}

void RestoreWindowLogic::AddCloudCopies(const std::string& infoFileName) {
    std::string bytes, firstLine;
    if (platform::ReadWholeFile(JoinPath(cloudFolder_, infoFileName), bytes)) {
        const std::vector<std::string> lines = platform::SplitLines(platform::DecodeTextFile(bytes));
        if (!lines.empty()) firstLine = lines.front();
    }
    const std::string entry = List2Entry(firstLine, infoFileName);
    const std::string newest = ArchiveNameOfList2Entry(entry);
    list2_.push_back(entry);
    list2Archives_.push_back(newest.empty() ? std::string() : JoinPath(cloudFolder_, newest));
    if (newest.empty()) return;
    for (const char* suffix : kGenerationSuffixes) {
        const std::string path = JoinPath(cloudFolder_, newest + suffix);
        std::time_t modified = 0;
        // Listed once, even when two information files name the same copy.
        if (!platform::IsRegularFile(path) || !platform::ModificationTime(path, modified) ||
            std::find(list2Archives_.begin(), list2Archives_.end(), path) != list2Archives_.end())
            continue;
        const platform::LocalDateTime t = platform::ToLocalDateTime(modified);
        list2_.push_back(List2GenerationEntry(newest, {t.year, t.month, t.day, t.hour, t.minute, t.second, 0},
                                              newest + suffix));
        list2Archives_.push_back(path);
    }
}

bool RestoreWindowLogic::Confirm(const std::string& text) {
    DialogMode = kDialogConfirmUpper;
    DialogText = text;
    ctx_.dialog.ShowDialog();
    return platform::ToUpper(Trim(DialogText)) == "OUI";
}

std::string RestoreWindowLogic::ShownFolder(const std::string& name) const {
    // In the vocabulary the data folder was given in.
    std::string text = Trim(ctx_.settings.dataFolder);
    const bool windows = text.find('\\') != std::string::npos || (text.size() >= 2 && text[1] == ':');
    const char sep = windows ? '\\' : '/';
    while (text.size() > 1 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
    return text + sep + name;
}

bool RestoreWindowLogic::ChosenBackup(std::string& archive, std::string& label) const {
    const bool cloud = !modeMarker_.empty();
    const std::vector<std::string>& list = cloud ? list2_ : list1_;
    const int chosen = cloud ? list2Selected_ : list1Selected_;
    if (chosen < 0 || chosen >= static_cast<int>(list.size()) || Trim(list[static_cast<size_t>(chosen)]).empty() ||
        (cloud && chosen >= static_cast<int>(list2Archives_.size())))
        return false;
    const std::string& entry = list[static_cast<size_t>(chosen)];
    const std::string name = cloud ? std::string() : ArchiveNameOfList1Entry(entry);
    if (!cloud && name.empty()) return false;
    archive = cloud ? list2Archives_[static_cast<size_t>(chosen)] : JoinPath(file1Path_, name);
    if (archive.empty()) return false;
    label = Trim(platform::CharLeft(entry, cloud ? 100 : 60));
    const std::string prefix = "Sauvegarde du ";
    if (label.rfind(prefix, 0) == 0) label = label.substr(prefix.size());
    return true;
}

std::string RestoreWindowLogic::CountsLine(const std::string& archive) const {
    const std::string line = RestoreCountsLineFor(archive, DataFolder());
    return line.empty() ? line : std::string(kLineBreak) + line;
}

void RestoreWindowLogic::Restore() {
    if (busy_ || ended_ || !engine_) return;
    BusyScope busy(busy_);
    std::string entry, archive;
    const std::string secondText = std::string("Attention, toutes les données de votre disque vont être remplacées "
                                               "par la sauvegarde, dernière confirmation, ") +
                                   kLineBreak + " tapez 'OUI' pour confirmer ?|NON";
    if (modeMarker_.empty()) {
        if (list1Selected_ >= 0 && list1Selected_ < static_cast<int>(list1_.size()))
            entry = list1_[static_cast<size_t>(list1Selected_)];
        if (Trim(entry).empty()) return;
        archive = JoinPath(file1Path_, ArchiveNameOfList1Entry(entry));
        if (!Confirm(std::string("Confirmez la récupération de la ") + kLineBreak +
                     Trim(platform::CharLeft(entry, 60)) + CountsLine(archive) + kLineBreak +
                     " tapez 'OUI' pour confirmer ?|NON"))
            return;
        if (!Confirm(secondText)) return;
    } else {
        if (list2Selected_ >= 0 && list2Selected_ < static_cast<int>(list2_.size()))
            entry = list2_[static_cast<size_t>(list2Selected_)];
        if (Trim(entry).empty()) {
            DialogMode = kDialogMessage;
            DialogText = kChooseCloudCopy;
            ctx_.dialog.ShowDialog();
            return;
        }
        if (list2Selected_ < static_cast<int>(list2Archives_.size()))
            archive = list2Archives_[static_cast<size_t>(list2Selected_)];
        if (!Confirm(std::string("Confirmez la récupération de la ") + kLineBreak +
                     Trim(platform::CharLeft(entry, 100)) + CountsLine(archive) + kLineBreak +
                     " tapez 'OUI' pour confirmer ?|NON"))
            return;
        if (!Confirm(secondText)) return;
    }
    Step([&] { ctx_.view.SetBusy(true); });
    Step([&] { ctx_.view.SetChoice(kRestoring); });
    Step([&] { ctx_.pump.DoEvents(); });

    lastOutcome_ = RestoreOutcome{};
    Step([&] {
        const std::string data = DataFolder();
        if (!archive.empty()) lastOutcome_ = RestoreArchive(*engine_, archive, data, ctx_.clock.Now());
    });
    if (!archive.empty()) archivePath_ = archive;
    Step([&] { ctx_.view.SetBusy(false); });

    const RestoreResult result = lastOutcome_.result;
    if (result != RestoreResult::Restored && result != RestoreResult::NotFlushed) {
        Step([&] { ctx_.view.SetChoice(ChoiceText(entry)); });
        DialogMode = kDialogMessage;
        DialogText = RestoreFailureText(lastOutcome_, ShownFolder(lastOutcome_.keptFolderName));
        ctx_.dialog.ShowDialog();
        return;
    }
    Step([&] { ctx_.view.SetChoice(kRestoreDone); });
    std::string text = result == RestoreResult::Restored ? kRestored : kRestoredNotFlushed;
    if (!lastOutcome_.keptFolderName.empty())
        text += std::string(kLineBreak) + kKeptIn + ShownFolder(lastOutcome_.keptFolderName);
    DialogMode = kDialogMessage;
    DialogText = text;
    ctx_.dialog.ShowDialog();
    ended_ = true;
    ctx_.end.EndProgram();
}

void RestoreWindowLogic::RestoreWithStatusLine() {
    if (busy_ || ended_) return;
    Step([&] { ctx_.view.ShowStatusLine(true); });
    Step([&] { ctx_.pump.DoEvents(); });
    Restore();
    if (ended_) return;
    Step([&] { ctx_.view.ShowStatusLine(false); });
    Step([&] { ctx_.pump.DoEvents(); });
}

int RestoreWindowLogic::AskMember() {
    const int count = engine_->inFileCount();
    const std::string prompt = std::string("Entrer le numéro du fichier à extraire :") + kLineBreak +
                               "Numéro compris entre 1 et " + std::to_string(count) + kLineBreak +
                               "Ordre des fichiers : Voir fenêtre de debug après avoir cliqué sur " +
                               "le bouton \"Voir le contenu du Zip (...)\"";
    std::string answer;
    if (!ctx_.view.AskNumber(prompt, "1", answer) || answer.empty()) return 0;
    const double value = std::nearbyint(platform::LeadingNumber(answer));  // halves to even
    if (value < 1 || value > count) {
        ctx_.view.Beep();
        return 0;
    }
    if (!engine_->ZipIsOpen()) engine_->ZipOpen(archivePath_);
    return static_cast<int>(value);
}

void RestoreWindowLogic::ExtractOneFile() {
    if (busy_ || !engine_) return;
    BusyScope busy(busy_);
    const int n = AskMember();
    if (n == 0) return;
    const std::string folder = JoinPath(ctx_.programFolder, kExtractedFolder);
    Step([&] { platform::CreateFolderPath(folder); });
    Step([&] { engine_->ExtractSingleFile(n, folder, false, true, false); });
}

void RestoreWindowLogic::OpenOneFile() {
    if (busy_ || !engine_) return;
    BusyScope busy(busy_);
    const int n = AskMember();
    if (n == 0) return;
    Step([&] { ctx_.view.SetBusy(true); });
    std::string path;
    Step([&] { path = engine_->ExtractSgFileToTmp(n); });
    Step([&] { ctx_.view.SetBusy(false); });
    Step([&] { engine_->LoadZippedFile(path); });
}

void RestoreWindowLogic::ShowComment() {
    if (busy_ || !engine_) return;
    ctx_.view.ShowComment(engine_->ZipComment());
}

void RestoreWindowLogic::ListMembers() {
    if (busy_ || !engine_) return;
    const int count = engine_->inFileCount();
    for (int i = 1; i <= count; ++i) {
        Step([&] {
            const std::int64_t packed = engine_->FileCompressedSize(i);
            const std::int64_t size = engine_->FileUncompressedSize(i);
            const platform::LocalDateTime when = engine_->FileDateAndTime(i);
            const long rate = size > 0 ? std::lround(100.0 - 100.0 * static_cast<double>(packed) / size) : 0;
            ctx_.view.WriteDiagnostic(std::to_string(i) + " : " + engine_->inFileName(i) + " - " + Two(when.day) + "/" +
                                      Two(when.month) + "/" + std::to_string(when.year) + " " + Two(when.hour) + ":" +
                                      Two(when.minute) + ":" + Two(when.second) + " - " + std::to_string(packed) +
                                      " octets (compressé) - " + std::to_string(size) +
                                      " octets (décompressé) - Taux = " + std::to_string(rate) + " %");
        });
    }
}

void RestoreWindowLogic::Quit() {
    if (busy_) return;
    ctx_.view.CloseWindow();
}

}  // namespace kuv::restore
