#pragma once
// The restore window kuvzipf2: the drive, folder and file lists that find the
// backups, the backup lists, the restore button and the single-file tools.
// Its logic is RestoreWindowLogic; the window shows what the logic tells it
// and forwards its controls. It is shown modally over the main window.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "restore/RestoreWindowLogic.h"

namespace Ui {
class kuvzipf2;
}

namespace kuv {

// What the restore window reaches beyond itself; owned by the caller.
struct RestoreWindowEnvironment {
    DialogPort* dialog = nullptr;
    const backup::Clock* clock = nullptr;
    backup::EventPump* pump = nullptr;
    const backup::SpecialFolders* specialFolders = nullptr;
    backup::ProgramEnd* end = nullptr;
    std::string programFolder;  // receives "Fichiers extraits"
};

class kuvzipf2 : public QDialog, public restore::RestoreWindowView {
    Q_OBJECT

public:
    kuvzipf2(const RestoreWindowEnvironment& environment, const backup::MainSettings& settings,
             const std::vector<platform::DriveEntry>& drives, QWidget* parent = nullptr);
    ~kuvzipf2() override;

    // The load step: runs the logic's Load once.
    void Load();
    restore::RestoreWindowLogic& Logic() { return *logic_; }

    // The system beep; tests replace it (nullptr: the real one).
    static void SetBeep(std::function<void()> beep);

    // ---- RestoreWindowView ----
    void PlaceList2(int leftTwips, int topTwips) override;
    void DressWindow() override;
    void SetButtonPictures() override;
    void ShowDrives(const std::vector<std::string>& texts, int selected) override;
    void ShowFolders(const std::vector<restore::FolderItem>& items, int current) override;
    void ShowFiles(const std::vector<std::string>& names) override;
    void ShowInfoFiles(const std::vector<std::string>& names) override;
    void ShowList1(const std::vector<std::string>& entries, int selected) override;
    void ShowList2(const std::vector<std::string>& entries, int selected) override;
    void ShowCloudMode(bool cloud) override;
    void SetModeMarker(const std::string& text) override;
    void SetChoice(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetMemberCount(const std::string& text) override;
    void ShowStatusLine(bool shown) override;
    void SetBusy(bool busy) override;
    void ShowEngineError(const std::string& text) override;
    void ShowComment(const std::string& text) override;
    bool AskNumber(const std::string& prompt, const std::string& defaultAnswer, std::string& answer) override;
    void Beep() override;
    void WriteDiagnostic(const std::string& line) override;
    void CloseWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    int Px(double twips) const;
    void PlaceControls();
    void Connect();
    void SetAccessibleTexts();
    // Opens the browse window of the chosen backup.
    void Browse();

    std::unique_ptr<Ui::kuvzipf2> ui_;
    backup::MainSettings settings_;
    RestoreWindowEnvironment environment_;
    std::unique_ptr<restore::RestoreWindowLogic> logic_;
    int busyDepth_ = 0;
    bool unloaded_ = false;
};

// Opens kuvzipf2 modally over parent for the main window's settings and drive
// list, and returns once it is closed (or the program ended).
void OpenRestoreWindow(QWidget* parent, const RestoreWindowEnvironment& environment,
                       const backup::MainSettings& settings, const std::vector<platform::DriveEntry>& drives);

}  // namespace kuv
