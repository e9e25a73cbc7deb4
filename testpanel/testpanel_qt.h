#pragma once
// The developer test panel's window: a tool window over the main window
// kuvzipf1, hidden until Ctrl+Shift+T (on the main window or on the panel)
// shows it, the same keys hiding it again. Its buttons run TestPanelLogic on
// the main window's engine instance; Label5 of the main window shows their
// outcome, the panel's journal the engine's events.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/MainSettings.h"
#include "testpanel/TestPanelLogic.h"
#include "ui/MessageBoxes_qt.h"

namespace Ui {
class testpanel;
}

namespace kuv {

class kuvzipf1;

// The folders the panel works in.
struct TestPanelFolders {
    std::string currentFolder;  // "*.cls"
    std::string programFolder;  // "..\*.txt"
    std::string archiveFolder;  // TestVersGrosZip.zip
};

// CdeUZip's restore window: what "Restaurer" opens (the main window
// environment's openRestoreWindow), modally over the main window, for its
// settings and drive list.
class MainWindowRestorePort : public testpanel::RestoreWindowPort {
public:
    using Opener = std::function<void(QWidget* parent, const backup::MainSettings& settings,
                                      const std::vector<platform::DriveEntry>& drives)>;
    // REQUIRES: open is set; mainWindow outlives the port.
    MainWindowRestorePort(kuvzipf1& mainWindow, Opener open) : mainWindow_(mainWindow), open_(std::move(open)) {}
    void OpenModal() override;

private:
    kuvzipf1& mainWindow_;
    Opener open_;
};

// Returns: the program's folders: the current folder, the executable's
// folder, and the program folder or, when it cannot be written, the current
// folder for the test archive.
TestPanelFolders ProgramTestPanelFolders();

class TestPanelWindow : public QWidget, public testpanel::TestPanelView {
    Q_OBJECT

public:
    // REQUIRES: mainWindow (the panel's parent) has run its Load(); restore
    // (null when the program has no restore window) outlives the panel.
    TestPanelWindow(kuvzipf1& mainWindow, testpanel::RestoreWindowPort* restore, TestPanelFolders folders);
    ~TestPanelWindow() override;

    testpanel::TestPanelLogic& Logic() { return *logic_; }
    // Shows the panel beside the main window, or hides it.
    void Toggle();

    // ---- TestPanelView ----
    void SetStatus(const std::string& text) override;
    void AddJournalLine(const std::string& line) override;

private:
    void Connect();
    void PlaceBesideMainWindow();

    std::unique_ptr<Ui::testpanel> ui_;
    kuvzipf1& mainWindow_;
    QtMessageBoxes boxes_;
    std::unique_ptr<testpanel::TestPanelLogic> logic_;
    bool placed_ = false;
};

}  // namespace kuv
