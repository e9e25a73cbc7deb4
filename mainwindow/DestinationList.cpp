// affiche_cle and the destination click.

#include "mainwindow/DestinationList.h"

#include "platform/Text.h"

namespace kuv::backup {

bool DriveKindLabel(int kind, std::string& label, int& picture) {
    switch (kind) {
        case 0: label = "Inconnu    "; picture = 4; return true;
        case 1: label = "Disque Dur "; picture = 0; return true;
        case 2: label = "Clé / Carte"; picture = 3; return true;
        case 3: label = "Disque Fixe"; picture = 0; return true;
        case 4: label = "Remote     "; picture = 4; return true;
        case 5: label = "Cd-Rom     "; picture = 2; return true;
        case 6: label = "Disque Ram "; picture = 4; return true;
        default: return false;
    }
}

std::string DestinationText(const std::string& driveText, const std::string& kindLabel) {
    return platform::ToUpper(platform::CharLeft(driveText, 2)) + " " + kindLabel + "  " +
           platform::CharMid(driveText, 2) + "  ";
}

namespace {

std::string FirstUpper(const std::string& text) { return platform::ToUpper(platform::CharLeft(text, 1)); }

}  // namespace

void DestinationList::Fill(const std::vector<platform::DriveEntry>& drives, std::string& destinationRoot) {
    Build(drives, destinationRoot, true);
}

void DestinationList::Build(const std::vector<platform::DriveEntry>& drives, std::string& destinationRoot,
                            bool click) {
    texts_.clear();
    pictures_.clear();
    selected_ = -1;
    view_.ClearDestinations();
    texts_.push_back(kNoDestinationEntry);
    pictures_.push_back(0);
    view_.AddDestination(kNoDestinationEntry, 0);

    int toSelect = 0;
    std::string label;  // a code outside the table keeps the previous drive's label and picture
    int picture = 0;
    for (size_t i = 0; i < drives.size(); ++i) {
        const platform::DriveEntry& drive = drives[i];
        std::string newLabel;
        int newPicture = 0;
        if (DriveKindLabel(drive.kind, newLabel, newPicture)) {
            label = newLabel;
            picture = newPicture;
            if ((drive.kind == 1 || drive.kind == 3) && FirstUpper(drive.text) != "C") picture = 1;
        }
        std::string text = DestinationText(drive.text, label);
        texts_.push_back(text);
        pictures_.push_back(picture);
        view_.AddDestination(text, picture);
        if (!destinationRoot.empty() && FirstUpper(drive.text) == FirstUpper(destinationRoot)) {
            toSelect = static_cast<int>(i) + 1;
        }
    }
    if (click) {
        Select(toSelect, destinationRoot);
    } else {
        // Followed, not chosen: the status line and the keyboard focus stay
        // where they are.
        selected_ = toSelect;
        view_.SelectDestination(toSelect);
        view_.ShowDrivePicture(pictures_[static_cast<size_t>(toSelect)]);
    }
    const Rgb colour = selected_ == 0 ? kComboNoDestination : kComboDestination;
    view_.SetDestinationBackground(colour.r, colour.g, colour.b);
    ApplyToRoot(SelectedText(), destinationRoot);
}

bool SameDrives(const std::vector<platform::DriveEntry>& a, const std::vector<platform::DriveEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].rootPath != b[i].rootPath || a[i].kind != b[i].kind ||
            a[i].source != b[i].source)
            return false;
    }
    return true;
}

int FindMedium(const platform::DriveEntry& medium, const std::vector<platform::DriveEntry>& drives) {
    for (size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].rootPath == medium.rootPath && drives[i].source == medium.source) return static_cast<int>(i);
    }
    return -1;
}

void DestinationList::Follow(const std::vector<platform::DriveEntry>& before,
                             const std::vector<platform::DriveEntry>& after, std::string& destinationRoot) {
    const int chosen = selected_ - 1;  // the drive behind the selected entry, -1 for none
    if (chosen < 0 || chosen >= static_cast<int>(before.size())) {
        Build(after, destinationRoot, false);
        return;
    }
    const int found = FindMedium(before[static_cast<size_t>(chosen)], after);
    if (found < 0) {
        // Its medium is gone: no destination, whichever medium has its letter now.
        std::string none;
        Build(after, none, false);
        return;
    }
    std::string root = platform::ToUpper(platform::CharLeft(after[static_cast<size_t>(found)].text, 1)) + ":";
    Build(after, root, false);
    destinationRoot = root;
}

void DestinationList::Select(int index, std::string& destinationRoot) {
    if (index < 0 || index >= Count()) return;
    selected_ = index;
    view_.SelectDestination(index);
    Click(index, destinationRoot);
}

void DestinationList::Click(int index, std::string& destinationRoot) {
    if (index < 0 || index >= Count()) return;
    selected_ = index;
    const std::string& text = texts_[index];
    if (text.compare(0, 9, "(Clé non") != 0) view_.SetDestinationBackground(kComboDestination.r, kComboDestination.g, kComboDestination.b);
    ApplyToRoot(text, destinationRoot);
    view_.ShowDrivePicture(pictures_[index]);
    view_.SetStatus("");
    view_.FocusText1();
}

bool DestinationList::SelectDriveC(std::string& destinationRoot) {
    int found = -1;
    for (int i = 0; i < Count(); ++i) {
        if (FirstUpper(texts_[i]) == "C") found = i;
    }
    if (found < 0) return false;
    Select(found, destinationRoot);
    return true;
}

void DestinationList::ApplyToRoot(const std::string& text, std::string& destinationRoot) const {
    if (text.empty() || text[0] == '(') return;
    if (text.compare(0, 2, "\\\\") == 0) {
        destinationRoot = text;
    } else {
        destinationRoot = platform::CharLeft(text, 2);
    }
}

std::string DestinationList::SelectedText() const { return Text(selected_); }

std::string DestinationList::Text(int index) const {
    return index >= 0 && index < Count() ? texts_[index] : std::string();
}

int DestinationList::Picture(int index) const {
    return index >= 0 && index < Count() ? pictures_[index] : 0;
}

}  // namespace kuv::backup
