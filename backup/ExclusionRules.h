#pragma once
// Which files of the data folder a data backup leaves out. The rules are
// applied to the file name in lower case, in this order; the first that
// matches decides:
//  1. default extensions: the name contains ".exe", ".dll", ".arc", ".ocx",
//     ".zip", ".pdf", ".xxx", ".rar", ".vbp", ".frm", ".frx", ".vbw", ".oca",
//     ".ddf", ".tlb", ".pdm" or ".bas" anywhere (so "notes.exe.txt" too),
//     unless the backup options hold "+exe", "+dll" ... for that extension;
//  2. button pictures: the options hold "NONBOUTONS" and the name begins with
//     "ww_bt_" or "wb_cl_";
//  3. application pictures: the name begins with "fc_img_" or "ac_img_";
//  4. extension by option: the options hold "-" + the extension, the
//     extension being everything after the first "." (the whole name when
//     there is none); a plain substring search, so "-txt" also matches the
//     extensions "tx" and "t". An empty extension (a name ending in its first
//     ".") matches nothing;
//  5. empty file: its length is 0, or cannot be read (vanished, inaccessible).
// Option tokens are searched case-sensitively anywhere in the options text.

#include <string>
#include <vector>

namespace kuv::backup {

enum class Exclusion {
    Kept,
    DefaultExtension,
    ButtonPicture,
    ApplicationPicture,
    OptionExtension,
    EmptyFile,
};

class ExclusionRules {
public:
    explicit ExclusionRules(std::string backupOptions);

    // Rules 1 to 4, on the lower-case name.
    Exclusion ByName(const std::string& lowerName) const;
    // Rules 1 to 5: the name rules, then the length of the file at fullPath.
    Exclusion Classify(const std::string& lowerName, const std::string& fullPath) const;

private:
    std::string options_;
    std::vector<std::string> excludedExtensions_;  // ".exe", ... not lifted by a "+" token
    bool noButtons_ = false;
};

}  // namespace kuv::backup
