#pragma once
// The browse window of a backup: the table of its members against the data
// folder, the filter, the counts, and "Restaurer dans le dossier des données".

#include <QDialog>
#include <memory>

#include "restore/BrowseLogic.h"

class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace kuv {

class kuvzipbrowse : public QDialog, public restore::BrowseView, public restore::FolderPicker {
    Q_OBJECT

public:
    kuvzipbrowse(DialogPort& dialog, const backup::Clock& clock, const std::string& dataFolder,
                 const std::string& shownDataFolder, const std::string& programFolder = {},
                 QWidget* parent = nullptr);
    ~kuvzipbrowse() override;
    restore::BrowseLogic& Logic() { return *logic_; }

    void SetTitle(const std::string& title) override;
    void ShowRows(const std::vector<const restore::ComparedFile*>& rows) override;
    void ShowCounts(const std::string& counts) override;
    std::string PickFolder(const std::string& start) override;

private:
    std::vector<std::string> Chosen() const;

    std::unique_ptr<restore::BrowseLogic> logic_;
    QLineEdit* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* counts_ = nullptr;
    QTimer* settle_ = nullptr;
};

}  // namespace kuv
