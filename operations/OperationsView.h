#pragma once
// What of the main window the other commands drive. The main window's view
// (mainwindow/MainWindowLogic.h) includes it; texts are UTF-8.

#include <string>
#include <vector>

namespace kuv::operations {

class OperationsView {
public:
    virtual ~OperationsView() = default;
    // File2: the files of the installation folder, in listing order.
    virtual void ShowProgramFiles(const std::vector<std::string>& names) = 0;
    // File3: the files of the program-file backup folder, in listing order.
    virtual void ShowSavedProgramFiles(const std::string& folder, const std::vector<std::string>& names) = 0;
    // The wait (hourglass) pointer while busy, the arrow otherwise.
    virtual void SetBusyPointer(bool busy) = 0;
    // Label17: "Nom : " + the archive name of a copy.
    virtual void SetCopyNameText(const std::string& text) = 0;
    // Frame1 with Label19 ("Sauvegarde automatique en cours...") shown and in
    // front (true) or hidden (false).
    virtual void ShowAutomaticCopyPanel(bool shown) = 0;
};

}  // namespace kuv::operations
