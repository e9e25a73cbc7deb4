// The developer test panel's buttons over the main window's engine.

#include "testpanel/TestPanelLogic.h"

#include <cctype>
#include <exception>
#include <limits>
#include <utility>

#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/clsZip.h"

namespace kuv::testpanel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Gives the engine's events to the journal for the life of the scope, then
// puts the owner's handlers back.
class JournalEvents {
public:
    JournalEvents(clsZip& engine, std::function<void(const std::string&)> journal)
        : engine_(engine), saved_(engine.Events) {
        engine.Events.Status = [journal](const std::string& text) { journal("Status : " + text); };
        engine.Events.ZipError = [journal](std::int32_t number, const std::string& text, bool&) {
            journal("ZipError n° " + std::to_string(number) + " : " + text);
        };
        engine.Events.FileZipErr = [journal](std::string& path, std::int32_t& number, std::string& text) {
            journal("FileZipErr n° " + std::to_string(number) + " : " + text + " : " + path);
        };
        engine.Events.WriteFailed = [journal](const std::string& text) { journal("WriteFailed : " + text); };
    }
    ~JournalEvents() { engine_.Events = std::move(saved_); }
    JournalEvents(const JournalEvents&) = delete;
    JournalEvents& operator=(const JournalEvents&) = delete;

private:
    clsZip& engine_;
    clsZipEvents saved_;
};

}  // namespace

EntryNumberAnswer ReadEntryNumber(const std::string& text) {
    EntryNumberAnswer answer;
    const std::string t = TrimBlanks(text);
    size_t i = 0;
    bool signed_ = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        signed_ = t[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    while (i < t.size() && IsDigit(t[i])) ++i;
    const size_t integerDigits = i - digitsStart;
    size_t fractionDigits = 0;
    bool fraction = false;
    if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
        fraction = true;
        ++i;
        while (i < t.size() && IsDigit(t[i])) ++i, ++fractionDigits;
    }
    if (integerDigits + fractionDigits == 0) return answer;
    bool exponent = false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        exponent = true;
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        const size_t expStart = i;
        while (i < t.size() && IsDigit(t[i])) ++i;
        if (i == expStart) return answer;
    }
    if (i != t.size()) return answer;
    answer.numeric = true;
    // Only a plain whole number names an entry: "-1", "1.5", "1e0" and a
    // number past 32 bits name none, rather than being rounded or wrapped
    // onto another entry.
    if (signed_ || fraction || exponent) return answer;
    std::int64_t value = 0;
    for (size_t k = digitsStart; k < digitsStart + integerDigits; ++k) {
        value = value * 10 + (t[k] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return answer;
    }
    answer.usable = true;
    answer.number = static_cast<std::int32_t>(value);
    return answer;
}

TestPanelLogic::TestPanelLogic(TestPanelContext context) : ctx_(std::move(context)) {}

std::string TestPanelLogic::ArchivePath() const { return platform::JoinPath(ctx_.archiveFolder, kTestArchiveName); }

bool TestPanelLogic::Refused(const char* button) {
    // The engine lets window events run during its walks: a click that
    // arrives then must not start a second operation on the same instance.
    if (busy_) Journal(std::string(button) + " : refusé, une autre opération du moteur est en cours");
    return busy_;
}

void TestPanelLogic::WithEngine(const char* button, const std::function<void(clsZip&)>& action) {
    clsZip* engine = ctx_.engine ? ctx_.engine() : nullptr;
    if (!engine) {
        Journal(std::string(button) + " : le moteur zip de la fenêtre principale n'est pas encore créé");
        return;
    }
    if (Refused(button)) return;
    busy_ = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{busy_};
    JournalEvents events(*engine, [this](const std::string& line) { Journal(line); });
    try {
        action(*engine);
    } catch (const std::exception& e) {
        Journal(std::string(button) + " : erreur inattendue : " + e.what());
    } catch (...) {
        Journal(std::string(button) + " : erreur inattendue");
    }
}

void TestPanelLogic::AddPattern(clsZip& engine, const std::string& pattern, std::int16_t pathChoice) {
    const std::int32_t added = engine.FileAdd(pattern, pathChoice, true);
    Journal(pattern + " : " + std::to_string(added) + " fichier(s) ajouté(s), " + std::to_string(engine.FileCount()) +
            " dans la liste");
}

void TestPanelLogic::AddWithoutFolders() {
    WithEngine("cdeAjouterSansRépertoire", [this](clsZip& engine) {
        const std::string folder = ctx_.file1Folder ? ctx_.file1Folder() : std::string();
        if (folder.empty()) {
            Journal("cdeAjouterSansRépertoire : File1 n'a pas de dossier (dossier des données absent)");
            return;
        }
        AddPattern(engine, platform::JoinPath(folder, "*.*"), 0);
    });
}

void TestPanelLogic::AddWithFullPaths() {
    WithEngine("cdeAjouterAvecRépertoires", [this](clsZip& engine) {
        AddPattern(engine, platform::JoinPath(ctx_.currentFolder, "*.cls"), 1);
    });
}

void TestPanelLogic::AddWithRelativePaths() {
    WithEngine("cdeAjouterAvecRépertoiresRelatifs", [this](clsZip& engine) {
        AddPattern(engine, platform::JoinPath(ctx_.programFolder, "../*.txt"), 2);
    });
}

void TestPanelLogic::ShowCount() {
    WithEngine("cdeCombien", [this](clsZip& engine) {
        ctx_.view.SetStatus(std::to_string(engine.FileCount()) + kCountSuffix);
    });
}

std::string TestPanelLogic::ListText() {
    std::string text;
    WithEngine("cdeListeFichiers", [&text](clsZip& engine) {
        const std::int32_t count = engine.FileCount();
        for (std::int32_t i = 1; i <= count; ++i) {
            text += std::to_string(i) + " - " + engine.FileName(i) + " - compression à : " +
                    std::to_string(engine.SizeCompressed(i)) + " - taille orig. : " +
                    std::to_string(engine.SizeUncompressed(i)) + "\r\n";
        }
    });
    return text;
}

void TestPanelLogic::ShowList() {
    if (Refused("cdeListeFichiers")) return;
    ctx_.boxes.Information(kBoxTitle, ListText());
}

void TestPanelLogic::RemoveFromSelection() {
    if (Refused("CdeSupp")) return;
    ctx_.boxes.Information(kBoxTitle, kLookAtTheList);
    ShowList();
    std::string typed;
    const bool answered = ctx_.boxes.Input(kEntryNumberTitle, kEntryNumberPrompt, typed);
    const EntryNumberAnswer answer = answered ? ReadEntryNumber(typed) : EntryNumberAnswer{};
    if (!answer.numeric) {
        ctx_.boxes.Warning(kNotANumberTitle, kNotANumber);
        return;
    }
    WithEngine("CdeSupp", [&](clsZip& engine) {
        const bool removed = answer.usable && engine.FileDel(answer.number);
        ctx_.view.SetStatus(removed ? kEntryRemoved : kEntryNotRemoved);
    });
}

void TestPanelLogic::CreateStreaming() {
    WithEngine("CmdConceptYB", [this](clsZip& engine) {
        const std::string archive = ArchivePath();
        const std::string folder = ctx_.file1Folder ? ctx_.file1Folder() : std::string();
        if (folder.empty()) {
            Journal("CmdConceptYB : File1 n'a pas de dossier (dossier des données absent)");
            ctx_.view.SetStatus(kCreateFailed);
            return;
        }
        std::int32_t handle = engine.CreateZip(archive, true);
        std::int32_t added = 0;
        if (handle != 0) added = engine.ybFileAdd(platform::JoinPath(folder, "*.*"), 1, handle, true);
        // The engine writes the archive under a temporary name and puts it in
        // place only once complete: when it fails, the file of that name (an
        // earlier archive) was not touched and is not ours to delete.
        if (handle == 0 || !engine.WriteEndZip(handle)) {
            ctx_.view.SetStatus(kCreateFailed);
            return;
        }
        // The count shown is what the archive really holds, read back.
        if (!engine.ZipOpen(archive)) {
            Journal("CmdConceptYB : l'archive écrite ne se relit pas, elle est supprimée");
            platform::RemoveFile(archive);
            ctx_.view.SetStatus(kCreateFailed);
            return;
        }
        const std::int32_t written = engine.inFileCount();
        engine.ZipClose();
        if (written != added)
            Journal("CmdConceptYB : " + std::to_string(added) + " fichier(s) ajouté(s), " + std::to_string(written) +
                    " dans l'archive");
        ctx_.view.SetStatus(kCreatedPrefix + std::to_string(written) + kCreatedSuffix);
    });
}

void TestPanelLogic::AddIntoArchive() {
    if (Refused("CmdAjZip")) return;
    std::string typed;
    if (!ctx_.boxes.Input(kAddIntoTitle, kAddIntoPrompt, typed)) return;
    WithEngine("CmdAjZip", [&](clsZip& engine) {
        const std::string name = platform::Trim(typed);
        const std::string path =
            name.empty() ? std::string() : platform::ResolveDrivePath(name, ctx_.drives ? ctx_.drives() : std::vector<platform::DriveEntry>{});
        if (path.empty()) {
            Journal("CmdAjZip : aucun fichier à ajouter (nom vide ou lecteur inconnu) : " + name);
            ctx_.view.SetStatus(kAddFailed);
            return;
        }
        std::int32_t pathChoice = 1;
        const bool added = engine.FileAddIntoZip(ArchivePath(), path, pathChoice, false, true);
        ctx_.view.SetStatus(added ? kAdded : kAddFailed);
    });
}

void TestPanelLogic::RemoveFromArchive() {
    if (Refused("cmdSu")) return;
    std::string typed;
    if (!ctx_.boxes.Input(kRemoveFromTitle, kRemoveFromPrompt, typed)) return;
    WithEngine("cmdSu", [&](clsZip& engine) {
        // Member names keep "\" between folders; a name typed with "/" is the same name.
        std::string name = platform::Trim(typed);
        for (char& c : name)
            if (c == '/') c = '\\';
        if (name.empty()) {
            Journal("cmdSu : aucun nom de fichier saisi");
            ctx_.view.SetStatus(kRemoveFailed);
            return;
        }
        const bool removed = engine.FileRemoveFromZip(ArchivePath(), name);
        if (!removed) Journal("cmdSu : " + name + " n'a pas été supprimé de " + ArchivePath());
        ctx_.view.SetStatus(removed ? kRemoved : kRemoveFailed);
    });
}

void TestPanelLogic::OpenRestoreWindow() {
    if (!ctx_.restore) {
        ctx_.view.SetStatus(kRestoreUnavailable);
        return;
    }
    ctx_.restore->OpenModal();
}

}  // namespace kuv::testpanel
