#pragma once
// The restore window's logic wired to a recording view and to the fakes of
// the main window's tests, in a fresh temporary machine (ScratchMachine):
// the backups are written into the backup folder of drive e: (the key),
// medium/S_c_appli_donnees, the data folder is home/Appli/Donnees.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "../mainwindow/MainWindowFakes.h"
#include "../zip/ReaderTestSupport.h"
#include "restore/RestoreWindowLogic.h"
#include "zip/clsZip.h"

namespace kuv::restore::testing {

using backup::testing::ReadFile;
using backup::testing::WriteFile;

// Records everything the logic shows; answers the input box from a script.
class FakeRestoreView : public RestoreWindowView {
public:
    std::vector<std::string> drives, folders, files, infoFiles, list1, list2, errors, comments, diagnostics;
    std::vector<FolderItem> folderItems;
    int driveSelected = -1, folderCurrent = -1, list1Selected = -1, list2Selected = -1;
    bool cloud = false, statusLineShown = false, dressed = false, pictures = false, closed = false;
    int busy = 0, beeps = 0, asked = 0;
    std::string marker = "unset", choice = "unset", status, count = "0", lastPrompt;
    std::vector<std::string> statusHistory, choiceHistory;
    std::deque<std::string> numberAnswers;  // "<cancel>" cancels
    int list2Left = 0, list2Top = 0;

    void PlaceList2(int left, int top) override {
        list2Left = left;
        list2Top = top;
    }
    void DressWindow() override { dressed = true; }
    void SetButtonPictures() override { pictures = true; }
    void ShowDrives(const std::vector<std::string>& texts, int selected) override {
        drives = texts;
        driveSelected = selected;
    }
    void ShowFolders(const std::vector<FolderItem>& items, int current) override {
        folderItems = items;
        folders.clear();
        for (const FolderItem& f : items) folders.push_back(f.label);
        folderCurrent = current;
    }
    void ShowFiles(const std::vector<std::string>& names) override { files = names; }
    void ShowInfoFiles(const std::vector<std::string>& names) override { infoFiles = names; }
    void ShowList1(const std::vector<std::string>& entries, int selected) override {
        list1 = entries;
        list1Selected = selected;
    }
    void ShowList2(const std::vector<std::string>& entries, int selected) override {
        list2 = entries;
        list2Selected = selected;
    }
    void ShowCloudMode(bool c) override { cloud = c; }
    void SetModeMarker(const std::string& text) override { marker = text; }
    void SetChoice(const std::string& text) override {
        choice = text;
        choiceHistory.push_back(text);
    }
    void SetStatus(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void SetMemberCount(const std::string& text) override { count = text; }
    void ShowStatusLine(bool shown) override { statusLineShown = shown; }
    void SetBusy(bool b) override { busy += b ? 1 : -1; }
    void ShowEngineError(const std::string& text) override { errors.push_back(text); }
    void ShowComment(const std::string& text) override { comments.push_back(text); }
    bool AskNumber(const std::string& prompt, const std::string&, std::string& answer) override {
        ++asked;
        lastPrompt = prompt;
        if (numberAnswers.empty()) return false;
        answer = numberAnswers.front();
        numberAnswers.pop_front();
        return answer != "<cancel>";
    }
    void Beep() override { ++beeps; }
    void WriteDiagnostic(const std::string& line) override { diagnostics.push_back(line); }
    void CloseWindow() override { closed = true; }
};

// A member of a backup written by the tests, with its date.
inline readertest::RawMember Dated(const std::string& name, const std::string& content, std::uint16_t dosDate,
                                   std::uint16_t dosTime) {
    readertest::RawMember m = readertest::Member(name, content);
    m.dosDate = dosDate;
    m.dosTime = dosTime;
    return m;
}

// The archive bytes with a byte of the last member's data (just before the
// central directory) changed.
inline std::string DamageLastMember(std::string bytes) {
    const size_t at = bytes.size() - 22 + 16;
    const std::uint32_t directory = static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8 |
                                    static_cast<std::uint8_t>(bytes[at + 2]) << 16 |
                                    static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
    bytes[directory - 3] = static_cast<char>(bytes[directory - 3] ^ 0x55);
    return bytes;
}

// 7 December 2026 10:15:00 as DOS words.
inline constexpr std::uint16_t kDate = static_cast<std::uint16_t>(((2026 - 1980) << 9) | (12 << 5) | 7);
inline constexpr std::uint16_t kTime = static_cast<std::uint16_t>((10 << 11) | (15 << 5));

class RestoreFixture : public backup::testing::ScratchMachine {
public:
    RestoreFixture() : ScratchMachine("kuv-restore") {
        settings.dataFolder = "C:\\Appli\\Donnees";
        settings.destinationRoot = "E:";
        settings.backupFolderName = "S_c_appli_donnees";
        backups = medium + "/S_c_appli_donnees";
        program = root + "/program";
        kuv::platform::CreateFolderPath(backups);
        kuv::platform::CreateFolderPath(program);
        clock.now = backup::DateTime{2027, 1, 3, 9, 5, 12, 0};
    }

    RestoreWindowLogic& Logic() {
        if (!logic) {
            logic = std::make_unique<RestoreWindowLogic>(RestoreWindowContext{
                view, dialog, clock, pump, folders, drives.list, end, settings, program});
        }
        return *logic;
    }
    RestoreWindowLogic& Load() {
        Logic().Load();
        return *logic;
    }

    // The usual backup: two files of the data folder, one in a sub-folder.
    std::string WriteBackup(const std::string& name, const std::string& comptaContent = "compta restaurée") {
        readertest::RawArchive a;
        a.members = {Dated("compta.dat", comptaContent, kDate, kTime),
                     Dated("clients.csv", "Dupont;Lyon\r\nMartin;Brest\r\n", kDate, kTime),
                     Dated("docs\\note.txt", std::string(5000, 'n'), kDate, kTime)};
        a.comment = "Sauvegarde C:\\Appli\\Donnees du 12-07-2026 - 10:15:00";
        return WriteArchive(name, a);
    }
    std::string WriteArchive(const std::string& name, const readertest::RawArchive& a) {
        const std::string path = backups + "/" + name;
        WriteFile(path, a.Build());
        return path;
    }
    // Answers the next showings of the dialog with these texts.
    void Answer(std::initializer_list<std::string> texts) {
        for (const std::string& t : texts) dialog.answers.emplace_back(t, t.empty() ? 2 : 6);
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& s : dialog.shown)
            if (s.mode == kDialogMessage) out.push_back(s.text);
        return out;
    }
    std::map<std::string, std::string> DataSnapshot() const { return readertest::Snapshot(data); }

    backup::MainSettings settings;
    std::string backups, program;
    FakeRestoreView view;
    backup::testing::ScriptedDialog dialog;
    backup::testing::FakeClock clock;
    backup::testing::FakePump pump;
    backup::testing::FakeEnd end;
    std::unique_ptr<RestoreWindowLogic> logic;
};

}  // namespace kuv::restore::testing
