#pragma once
// The main window kuvzipf1: the data panel (data folder, last backup,
// destination list, "Sauvegarder les DONNEES", lamps, gauge, file lists),
// the copies ("Drop-Box", "OneDrive"/"Transfert", "Dossier", "Attribuer
// repertoire"), "Zip Mail", the program files ("Sauvegarder les PROGRAMMES",
// "Restaurer l'ancienne Version", File2, File3), "Outils" and "Quitter", the
// panels of the automatic modes, the four one-shot timers and the watch of
// the drives. Its logic is MainWindowLogic; the window shows what the logic
// tells it and forwards the user's buttons, Combo1's choice and the timers.

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "mainwindow/Gauge_qt.h"
#include "mainwindow/MainWindowLogic.h"
#include "ui/Notifications.h"

namespace Ui {
class kuvzipf1;
}

namespace kuv {

// What the window's logic reaches beyond the window itself. Everything is
// owned by the caller and outlives the window.
struct MainWindowEnvironment {
    DialogPort* dialog = nullptr;
    const backup::Clock* clock = nullptr;
    backup::EventPump* pump = nullptr;
    const backup::SpecialFolders* specialFolders = nullptr;
    const platform::DriveSource* drives = nullptr;
    backup::ProgramLauncher* launcher = nullptr;
    backup::ProgramEnd* end = nullptr;
    std::string workingFolder;  // Kuv-Zip.ini, W_intlog.wdo, the report, the logo file
    // Tells the desktop about an unattended backup or copy that failed or
    // left files out; none: only logged.
    Notifier* notifier = nullptr;
    // How long a message of an unattended run stays up.
    int unattendedDialogMs = operations::kUnattendedDialogMs;
    // "Restaurer" (Command5): opens the restore window modally over the main
    // window for its settings and drive list; returns once it is closed.
    std::function<void(QWidget* parent, const backup::MainSettings& settings,
                       const std::vector<platform::DriveEntry>& drives)>
        openRestoreWindow;
};

class kuvzipf1 : public QWidget,
                 public backup::MainWindowView,
                 public backup::BackupGauge,
                 public backup::TimerPort {
    Q_OBJECT

public:
    explicit kuvzipf1(const MainWindowEnvironment& environment, QWidget* parent = nullptr);
    ~kuvzipf1() override;
    // Whether the wait pointer is shown.
    bool BusyPointerShown() const { return busyPointers_ > 0; }

    // The load step: runs the startup of the logic once.
    void Load();

    backup::MainWindowLogic& Logic() { return *logic_; }
    QTimer* Timer(backup::TimerId timer) const;
    // The picture number each lamp shows (Image1(0..3)), and Image11's.
    int LampPicture(int lamp) const { return lampPictures_.at(static_cast<size_t>(lamp)); }
    int DrivePicture() const { return drivePicture_; }

    // ---- MainWindowView ----
    void DressWindow() override;
    void CentreWindow() override;
    void SetWindowWidthTwips(int width) override;
    void SetDataFolderText(const std::string& text) override;
    void SetLastBackupText(const std::string& text) override;
    void SetLastBackupBackground(int red, int green, int blue) override;
    void SetTitle(const std::string& text) override;
    void ShowRequestPanel() override;
    void HideRequestPanel() override;
    void ShowTransferButton() override;
    void ShowExchangeFolder(const std::string& folder) override;
    void ShowDestinationFolder(const std::string& path) override;
    // DestinationView
    void ClearDestinations() override;
    void AddDestination(const std::string& text, int picture) override;
    void SelectDestination(int index) override;
    void SetDestinationBackground(int red, int green, int blue) override;
    void ShowDrivePicture(int picture) override;
    void SetStatus(const std::string& text) override;
    void FocusText1() override;
    // BackupJobView
    int SelectedDestinationIndex() const override;
    std::string SelectedDestinationText() const override;
    void ClearSavedList() override;
    void AddSavedFile(const std::string& name) override;
    void ClearIgnoredList() override;
    void AddIgnoredFile(const std::string& name) override;
    void SetAddedCounter(const std::string& text) override;
    void SetLamp(int lamp, int picture) override;
    void ShowDataFolderFiles(const std::string& folderText, const std::vector<std::string>& names) override;

    // OperationsView
    void ShowProgramFiles(const std::vector<std::string>& names) override;
    void ShowSavedProgramFiles(const std::string& folder, const std::vector<std::string>& names) override;
    void SetBusyPointer(bool busy) override;
    void SetCopyNameText(const std::string& text) override;
    void ShowAutomaticCopyPanel(bool shown) override;

    // ---- BackupGauge ----
    void InitGauge(int steps) override;
    void StepGauge() override;
    void SetGaugeText(const std::string& text) override;

    // ---- TimerPort ----
    void Arm(backup::TimerId timer, int milliseconds) override;

protected:
    // The title bar's close: while a backup is in progress the window stays
    // and closes once it has ended.
    void closeEvent(QCloseEvent* event) override;

private:
    int Px(double twips) const;
    void PlaceControls();
    void SetAccessibleTexts();
    void Connect();

    std::unique_ptr<Ui::kuvzipf1> ui_;
    MainWindowEnvironment environment_;
    NoNotifier noNotifier_;  // when the environment has no notifier
    std::unique_ptr<backup::MainWindowLogic> logic_;
    std::array<QTimer*, 5> timers_{};  // by TimerId
    std::array<int, 4> lampPictures_{{36, 36, 36, 36}};
    int drivePicture_ = -1;
    int busyPointers_ = 0;  // wait pointers set and not yet taken back
    backup::GaugeWidget* gauge_ = nullptr;  // kuvbbf
};

}  // namespace kuv
