#pragma once
// The user's special folders, by the identifiers the program uses: 0 the
// desktop (the XDG desktop folder), 40 the user's profile ($HOME).
//
// SpecialFolderPath gives the folder's path (UTF-8, no trailing "/"), or
// empty text for an unknown identifier or a folder that does not exist.
// Window logic receives a SpecialFolderSource so that its tests choose the
// folders; the windows hand it SystemSpecialFolders.

#include <string>

namespace kuv {

inline constexpr int kFolderDesktop = 0;
inline constexpr int kFolderProfile = 40;

std::string SpecialFolderPath(int folderId);

class SpecialFolderSource {
public:
    virtual ~SpecialFolderSource() = default;
    virtual std::string SpecialFolderPath(int folderId) const = 0;
};

// The folders of the user running the program.
class SystemSpecialFolders : public SpecialFolderSource {
public:
    std::string SpecialFolderPath(int folderId) const override;
};

}  // namespace kuv
