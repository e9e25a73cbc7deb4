#pragma once
// Fakes and helpers of the other commands' tests: a recording view, a
// scripted dialog, the limit on the size of written files, the bytes and names of a folder.

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "operations/OperationsView.h"
#include "platform/Files.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/backup/DataBackupJobFakes.h"
#include "ui/DialogPort.h"

namespace kuv::operations::testing {

using kuv::backup::testing::ReadFile;
using kuv::backup::testing::WriteFile;

class FakeOperationsView : public OperationsView {
public:
    std::vector<std::string> programFiles, savedProgramFiles;
    std::string savedFolder, copyName = "unset";
    std::vector<bool> busy;
    std::vector<bool> panel;
    void ShowProgramFiles(const std::vector<std::string>& names) override { programFiles = names; }
    void ShowSavedProgramFiles(const std::string& folder, const std::vector<std::string>& names) override {
        savedFolder = folder;
        savedProgramFiles = names;
    }
    void SetBusyPointer(bool b) override { busy.push_back(b); }
    void SetCopyNameText(const std::string& text) override { copyName = text; }
    void ShowAutomaticCopyPanel(bool shown) override { panel.push_back(shown); }
};

class FakeEnd : public backup::ProgramEnd {
public:
    int ends = 0;
    void EndProgram() override { ++ends; }
};

// Each showing takes the next scripted answer text (the answer code of "Oui",
// 6); without one the dialog is closed with "Valider". Every showing is kept.
class AnsweringDialog : public DialogPort {
public:
    std::vector<std::pair<std::string, int>> shown;  // text, mode
    std::deque<std::string> answers;
    void ShowDialog() override {
        shown.emplace_back(DialogText, DialogMode);
        if (answers.empty()) {
            DialogMode = 1;
            return;
        }
        DialogText = answers.front();
        DialogMode = 6;
        answers.pop_front();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& s : shown) texts.push_back(s.first);
        return texts;
    }
};

using kuvtest::FileSizeLimit;

// Every entry of a folder (files, folders, hidden ones) with the bytes of its
// regular files.
inline std::map<std::string, std::string> FolderContents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const platform::FolderEntry& e : platform::ListFolder(folder, "*")) {
        contents[e.name] = e.kind == platform::EntryKind::Regular ? ReadFile(platform::JoinPath(folder, e.name))
                                                                  : std::string("<folder>");
    }
    return contents;
}

// Bytes that do not compress to nothing and differ by seed.
inline std::string Bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return bytes;
}

}  // namespace kuv::operations::testing
