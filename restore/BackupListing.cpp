#include "restore/BackupListing.h"

#include <cctype>

#include "operations/CopyNames.h"
#include "platform/Text.h"

namespace kuv::restore {

using platform::CharCount;
using platform::CharLeft;
using platform::CharMid;

namespace {

const char* const kMonths[12] = {"Janvier", "Février,", "Mars",    "Avril",    "Mai",      "Juin",
                                 "Juillet", "Ouet",     "Septembre", "Octobre", "Novembre", "Décembre"};

bool TenDigits(const std::string& s) {
    if (s.size() < 10) return false;
    for (size_t i = 0; i < 10; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

}  // namespace

std::string MonthName(int month) { return month >= 1 && month <= 12 ? kMonths[month - 1] : std::string(); }

std::string PadOrCut(const std::string& text, size_t width) {
    const size_t n = CharCount(text);
    if (n >= width) return CharLeft(text, width);
    return text + std::string(width - n, ' ');
}

std::string BackupLabel(const std::string& fileName) {
    const std::string lower = platform::ToLower(fileName);
    std::string dated;
    if (lower.rfind("kuvsav-", 0) == 0) dated = fileName.substr(7);
    else if (lower.rfind("secur_zip-", 0) == 0) dated = fileName.substr(10);
    else return fileName;
    if (!TenDigits(dated)) return fileName;
    const std::string yy = dated.substr(0, 2), mm = dated.substr(2, 2), dd = dated.substr(4, 2),
                      hh = dated.substr(6, 2), mi = dated.substr(8, 2);
    std::string month = MonthName(std::stoi(mm));
    if (month.empty()) month = "(mois " + mm + ")";
    return "Sauvegarde du " + dd + " " + month + " 20" + yy + " à " + hh + "H" + mi;
}

std::optional<std::string> List1Entry(const std::string& fileName) {
    const std::string lower = platform::ToLower(fileName);
    if (lower.rfind("kuvsav-", 0) != 0 && lower.rfind("kuvchier", 0) != 0 && lower.rfind("secur_zip-", 0) != 0)
        return std::nullopt;
    return PadOrCut(BackupLabel(fileName), kList1LabelWidth) + fileName;
}

std::string List2Entry(const std::string& firstLine, const std::string& infoFileName) {
    return CharLeft(firstLine + std::string(100, ' '), kList2LineWidth) + infoFileName;
}

std::string List2GenerationEntry(const std::string& newestName, const backup::DateTime& when,
                                 const std::string& fileName) {
    std::string label = newestName;
    if (label.size() > 4 && label.compare(label.size() - 4, 4, ".zip") == 0) label.resize(label.size() - 4);
    return List2Entry("Sauvegarde du : " + operations::DateStamp(when) + " - Dossier : " + label, fileName);
}

std::string ChoiceText(const std::string& entry, size_t charCount) {
    return "Restaurer la " + platform::Trim(CharLeft(entry, charCount));
}

std::string ArchiveNameOfList1Entry(const std::string& entry) {
    return platform::Trim(CharMid(entry, kList1LabelWidth));
}

std::string ArchiveNameOfList2Entry(const std::string& entry) {
    const std::string name = platform::Trim(CharMid(entry, 47, 50));
    return name.empty() ? std::string() : name + ".zip";
}

}  // namespace kuv::restore
