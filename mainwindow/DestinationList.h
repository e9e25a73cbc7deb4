#pragma once
// The destination list Combo1 of the main window: entry 0 "(Clé non
// identifiée)", then one entry per drive, labelled with its kind and carrying
// the number of its drive picture in the image store. affiche_cle fills it
// and selects the drive of the destination root; a choice in the list
// (the destination click) changes the destination root.

#include <string>
#include <vector>

#include "ui/WindowColours.h"
#include "platform/Drives.h"

namespace kuv::backup {

inline constexpr const char* kNoDestinationEntry = "(Clé non identifiée)";

// What the list needs from the window.
class DestinationView {
public:
    virtual ~DestinationView() = default;
    virtual void ClearDestinations() = 0;                                 // Combo1.Clear
    virtual void AddDestination(const std::string& text, int picture) = 0;  // AddItem + ItemData
    // Selects the entry on screen without raising the window's click (the
    // logic raises the click itself).
    virtual void SelectDestination(int index) = 0;
    virtual void SetDestinationBackground(int red, int green, int blue) = 0;  // Combo1.BackColor
    virtual void ShowDrivePicture(int picture) = 0;                        // Image11 <- icc.Image1(n)
    virtual void SetStatus(const std::string& text) = 0;                   // Label5
    virtual void FocusText1() = 0;                                         // Text1.SetFocus
};

// The kind label (11 characters) and drive picture of a drive-type code;
// false for a code outside the table.
bool DriveKindLabel(int kind, std::string& label, int& picture);

// True when both lists hold the same drives, in the same order, with the
// same letters, names, folders, kinds and devices.
bool SameDrives(const std::vector<platform::DriveEntry>& a, const std::vector<platform::DriveEntry>& b);

// The index in drives of the medium `medium` (the same mount folder and the
// same device), whatever letter it has there; -1 when it is not there.
int FindMedium(const platform::DriveEntry& medium, const std::vector<platform::DriveEntry>& drives);

// The text of a drive entry in Combo1: "e: [CLE USB]" of kind 2 gives
// "E: Clé / Carte   [CLE USB]  ".
std::string DestinationText(const std::string& driveText, const std::string& kindLabel);

class DestinationList {
public:
    explicit DestinationList(DestinationView& view) : view_(view) {}

    // affiche_cle: rebuilds the list from drives and selects the entry of
    // destinationRoot (the last drive whose letter matches); may change
    // destinationRoot through the click.
    void Fill(const std::vector<platform::DriveEntry>& drives, std::string& destinationRoot);

    // The machine's drives changed while the window is open: rebuilds the
    // list from `after` (before: the drives it was built from). The medium
    // the user had chosen stays selected while it is there, under its new
    // letter when the lettering moved, and destinationRoot follows it; a
    // chosen medium that is gone leaves entry 0 selected (in red) and
    // destinationRoot unchanged, so that no backup goes to another medium
    // that took its letter. With entry 0 selected, a medium that arrives with
    // the destination root's letter is selected, as at startup. Unlike a
    // click, following leaves the status line (Label5, which may tell a
    // failure) and the keyboard focus alone.
    void Follow(const std::vector<platform::DriveEntry>& before, const std::vector<platform::DriveEntry>& after,
                std::string& destinationRoot);

    // Selects entry index as the program does (raises the click).
    void Select(int index, std::string& destinationRoot);

    // The destination click: applies the selected entry to destinationRoot.
    void Click(int index, std::string& destinationRoot);

    // Selects the last entry whose first character is "C" in upper case
    // (startup's requested and default backups on C:). False when none.
    bool SelectDriveC(std::string& destinationRoot);

    int Count() const { return static_cast<int>(texts_.size()); }
    int SelectedIndex() const { return selected_; }
    std::string SelectedText() const;
    std::string Text(int index) const;
    int Picture(int index) const;

private:
    // affiche_cle's list; click: the selection raises the destination click
    // (startup), else it is only shown (following the drives).
    void Build(const std::vector<platform::DriveEntry>& drives, std::string& destinationRoot, bool click);
    void ApplyToRoot(const std::string& text, std::string& destinationRoot) const;

    DestinationView& view_;
    std::vector<std::string> texts_;
    std::vector<int> pictures_;
    int selected_ = -1;
};

}  // namespace kuv::backup
