#pragma once
// The test panel's logic over the real engine, with a recording view and
// message boxes answered from a script, in a scratch machine:
//   <root>/home/Appli/Donnees  File1's folder (the data folder)
//   <root>/work                the current folder
//   <root>/prog/bin            the program folder (holds TestVersGrosZip.zip)

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "DataBackupJobFakes.h"
#include "testpanel/TestPanelLogic.h"
#include "ui/MessageBoxPort.h"
#include "zip/clsZip.h"

namespace kuv::testpanel::testing {

class RecordingView : public TestPanelView {
public:
    std::string status = "unset";
    std::vector<std::string> statuses, journal;
    void SetStatus(const std::string& text) override {
        status = text;
        statuses.push_back(text);
    }
    void AddJournalLine(const std::string& line) override { journal.push_back(line); }
    bool JournalHas(const std::string& part) const {
        for (const std::string& l : journal)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

// Every box shown, in order; input boxes take the next scripted answer
// (std::nullopt-like: cancelled when the script says so or is empty).
class ScriptedBoxes : public MessageBoxPort {
public:
    struct Shown {
        std::string kind;  // "information", "warning", "input"
        std::string title, text;
    };
    struct Answer {
        bool accepted = true;
        std::string text;
    };
    std::vector<Shown> shown;
    std::deque<Answer> answers;

    void Information(const std::string& title, const std::string& text) override {
        shown.push_back({"information", title, text});
    }
    void Warning(const std::string& title, const std::string& text) override {
        shown.push_back({"warning", title, text});
    }
    bool Input(const std::string& title, const std::string& prompt, std::string& answer) override {
        shown.push_back({"input", title, prompt});
        if (answers.empty()) {
            answer.clear();
            return false;
        }
        Answer a = answers.front();
        answers.pop_front();
        answer = a.accepted ? a.text : std::string();
        return a.accepted;
    }
    void Type(const std::string& text) { answers.push_back({true, text}); }
    void Cancel() { answers.push_back({false, {}}); }
};

class PanelFixture : public kuv::backup::testing::ScratchMachine {
public:
    PanelFixture() : ScratchMachine("kuv-panel") {
        program = root + "/prog/bin";
        kuv::platform::CreateFolderPath(program);
    }
    TestPanelLogic& Panel() {
        if (!panel) {
            TestPanelContext context{view,
                                     boxes,
                                     [this] { return engineMissing ? nullptr : &engine; },
                                     [this] { return file1; },
                                     [this] { return drives.list; },
                                     work,
                                     program,
                                     archiveFolder.empty() ? program : archiveFolder,
                                     restore};
            panel = std::make_unique<TestPanelLogic>(std::move(context));
        }
        return *panel;
    }
    std::string Archive() const { return (archiveFolder.empty() ? program : archiveFolder) + "/TestVersGrosZip.zip"; }

    std::string program, archiveFolder;
    std::string file1 = data;
    bool engineMissing = false;
    RestoreWindowPort* restore = nullptr;
    clsZip engine;
    RecordingView view;
    ScriptedBoxes boxes;
    std::unique_ptr<TestPanelLogic> panel;
};

}  // namespace kuv::testpanel::testing
