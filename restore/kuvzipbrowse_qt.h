#pragma once
// The browse window of a backup: the table of its members against the data
// folder, the filter, the counts, "Restaurer dans le dossier des données",
// "Extraire vers…", "Ouvrir", "Tester la sauvegarde" and "Ouvrir une
// archive…".

#include <QDialog>
#include <memory>

#include "restore/BrowseLogic.h"
#include "ui/QtEnvironment.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace kuv {

class kuvzipbrowse : public QDialog,
                     public restore::BrowseView,
                     public restore::FolderPicker,
                     public restore::ArchivePicker {
    Q_OBJECT

public:
    kuvzipbrowse(DialogPort& dialog, const backup::Clock& clock, const std::string& dataFolder,
                 const std::string& shownDataFolder, const std::string& programFolder = {},
                 QWidget* parent = nullptr);
    ~kuvzipbrowse() override;
    restore::BrowseLogic& Logic() { return *logic_; }
    // Other dialogs and launcher than the window's own (nullptr: its own),
    // before anything is opened.
    void UsePorts(restore::FolderPicker* folders, restore::ArchivePicker* archives,
                  backup::ProgramLauncher* launcher);

    void SetTitle(const std::string& title) override;
    void ShowRows(const std::vector<const restore::ComparedFile*>& rows) override;
    void ShowCounts(const std::string& counts) override;
    void ShowComparedWithFolder(bool compared) override;
    std::string PickFolder(const std::string& start) override;
    std::string PickArchive(const std::string& start, const std::string& filter) override;

private:
    std::vector<std::string> Chosen() const;
    void FollowSelection();

    backup::QtProgramLauncher launcher_;
    restore::BrowseContext context_;
    std::unique_ptr<restore::BrowseLogic> logic_;
    QPushButton* restore_ = nullptr;
    QPushButton* open_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* counts_ = nullptr;
    QTimer* settle_ = nullptr;
};

}  // namespace kuv
