#pragma once
// The main window's logic wired to a recording view and to fakes of its
// environment, working in a fresh temporary machine (ScratchMachine).

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/backup/DataBackupJobFakes.h"
#include "mainwindow/MainWindowLogic.h"
#include "ui/QtEnvironment.h"
#include "link/LinkFile.h"
#include "platform/Text.h"

namespace kuv::backup::testing {

// Records everything the logic shows.
class FakeMainView : public MainWindowView {
public:
    // Combo1
    std::vector<std::string> entries;
    std::vector<int> pictures;
    int selected = -1;
    std::vector<int> comboColour;
    int drivePicture = -1;
    int focusText1 = 0;
    // other controls
    std::string status = "unset", dataFolder = "unset", lastBackup = "unset", title = "unset", exchangeFolder,
                destinationFolder;
    std::vector<int> lastBackupColour;
    int widthTwips = 0;
    bool requestPanel = false, transferButton = false, exchangeShown = false, dressed = false, centred = false;
    std::vector<std::string> saved, ignored, files;
    std::string counter;
    int lamps[4] = {-1, -1, -1, -1};

    void ClearDestinations() override {
        entries.clear();
        pictures.clear();
        selected = -1;
    }
    void AddDestination(const std::string& text, int picture) override {
        entries.push_back(text);
        pictures.push_back(picture);
    }
    void SelectDestination(int index) override { selected = index; }
    void SetDestinationBackground(int r, int g, int b) override { comboColour = {r, g, b}; }
    void ShowDrivePicture(int picture) override { drivePicture = picture; }
    void SetStatus(const std::string& text) override { status = text; }
    void FocusText1() override { ++focusText1; }

    int SelectedDestinationIndex() const override { return selected; }
    std::string SelectedDestinationText() const override {
        return selected >= 0 && selected < static_cast<int>(entries.size()) ? entries[selected] : "";
    }
    void ClearSavedList() override { saved.clear(); }
    void AddSavedFile(const std::string& name) override { saved.push_back(name); }
    void ClearIgnoredList() override { ignored.clear(); }
    void AddIgnoredFile(const std::string& name) override { ignored.push_back(name); }
    void SetAddedCounter(const std::string& text) override { counter = text; }
    void SetLamp(int lamp, int picture) override { lamps[lamp] = picture; }
    void ShowDataFolderFiles(const std::string&, const std::vector<std::string>& names) override { files = names; }

    void DressWindow() override { dressed = true; }
    void CentreWindow() override { centred = true; }
    void SetWindowWidthTwips(int width) override { widthTwips = width; }
    void SetDataFolderText(const std::string& text) override { dataFolder = text; }
    void SetLastBackupText(const std::string& text) override { lastBackup = text; }
    void SetLastBackupBackground(int r, int g, int b) override { lastBackupColour = {r, g, b}; }
    void SetTitle(const std::string& text) override { title = text; }
    void ShowRequestPanel() override { requestPanel = true; }
    void HideRequestPanel() override { requestPanel = false; }
    void ShowTransferButton() override { transferButton = true; }
    void ShowExchangeFolder(const std::string& folder) override {
        exchangeShown = true;
        exchangeFolder = folder;
    }
    void ShowDestinationFolder(const std::string& path) override { destinationFolder = path; }

    // the other commands
    std::vector<std::string> programFiles, savedProgramFiles;
    std::string copyName = "unset";
    std::vector<bool> busyPointer, automaticCopyPanel;
    void ShowProgramFiles(const std::vector<std::string>& names) override { programFiles = names; }
    void ShowSavedProgramFiles(const std::string&, const std::vector<std::string>& names) override {
        savedProgramFiles = names;
    }
    void SetBusyPointer(bool busy) override { busyPointer.push_back(busy); }
    void SetCopyNameText(const std::string& text) override { copyName = text; }
    void ShowAutomaticCopyPanel(bool shown) override { automaticCopyPanel.push_back(shown); }
};

// Answers the dialog from a script: each showing takes the next answer
// (text and answer code); messages are recorded.
class ScriptedDialog : public kuv::DialogPort {
public:
    struct Shown {
        std::string text;
        int mode;
    };
    std::vector<Shown> shown;
    std::deque<std::pair<std::string, int>> answers;
    std::function<void()> onShow;  // a window event arriving while the dialog is open
    void ShowDialog() override {
        shown.push_back({kuv::DialogText, kuv::DialogMode});
        if (onShow) onShow();
        if (answers.empty()) {
            kuv::DialogMode = 1;
            return;
        }
        kuv::DialogText = answers.front().first;
        kuv::DialogMode = answers.front().second;
        answers.pop_front();
    }
};

// Splits as the real launcher does; records what it would start.
class FakeLauncher : public QtProgramLauncher {
public:
    std::vector<std::pair<std::string, std::string>> started;  // program and arguments, folder
    bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) override {
        std::string line = program;
        for (const std::string& arg : args) line += " " + arg;
        started.emplace_back(line, folder);
        return true;
    }
};

// Records each notification, with the number of dialogs shown before it.
class FakeNotifier : public kuv::Notifier {
public:
    struct Sent {
        std::string summary, body;
        size_t dialogsBefore;
    };
    explicit FakeNotifier(const ScriptedDialog& dialog) : dialog_(dialog) {}
    std::vector<Sent> sent;
    void Notify(const std::string& summary, const std::string& body) override {
        sent.push_back({summary, body, dialog_.shown.size()});
    }

private:
    const ScriptedDialog& dialog_;
};

class FakeEnd : public ProgramEnd {
public:
    int ends = 0;
    std::function<void()> onEnd;  // looks at the machine as the program ends
    void EndProgram() override {
        ++ends;
        if (onEnd) onEnd();
    }
};

class WindowFixture : public ScratchMachine {
public:
    WindowFixture() : ScratchMachine("kuv-main") {
        clock.now = DateTime{2027, 1, 3, 9, 5, 12, 0};
    }

    MainWindowLogic& Logic() {
        if (!logic) {
            logic = std::make_unique<MainWindowLogic>(MainWindowContext{
                view, gauge, dialog, clock, pump, timers, folders, drives, launcher, end, work, notifier});
        }
        return *logic;
    }
    MainWindowLogic& Start() {
        Logic().Startup();
        return *logic;
    }

    void WriteIni(const std::string& text) { WriteFile(work + "/Kuv-Zip.ini", text); }
    std::string Ini() const { return ReadFile(work + "/Kuv-Zip.ini"); }
    void SetLink(const std::string& key, const std::string& value) {
        kuv::WriteLinkValue(key, value, work + "/" + kuv::kLinkFileName);
    }
    std::string Link(const std::string& key) const {
        return kuv::platform::Trim(kuv::ReadLinkValue(key, work + "/" + kuv::kLinkFileName));
    }
    bool Armed(TimerId id, int ms) const {
        for (const auto& a : timers.armed)
            if (a.first == id && a.second == ms) return true;
        return false;
    }

    FakeMainView view;
    FakeGauge gauge;
    ScriptedDialog dialog;
    FakeClock clock;
    FakePump pump;
    FakeTimers timers;
    FakeLauncher launcher;
    FakeEnd end;
    FakeNotifier notifier{dialog};
    std::unique_ptr<MainWindowLogic> logic;
};

}  // namespace kuv::backup::testing
