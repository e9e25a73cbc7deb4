#include "backup/ExclusionRules.h"

#include <cstdint>

#include "platform/Files.h"

namespace kuv::backup {

namespace {

const char* const kDefaultExtensions[] = {"exe", "dll", "arc", "ocx", "zip", "pdf", "xxx", "rar", "vbp",
                                          "frm", "frx", "vbw", "oca", "ddf", "tlb", "pdm", "bas"};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

ExclusionRules::ExclusionRules(std::string backupOptions) : options_(std::move(backupOptions)) {
    for (const char* extension : kDefaultExtensions) {
        if (options_.find(std::string("+") + extension) == std::string::npos) {
            excludedExtensions_.push_back(std::string(".") + extension);
        }
    }
    noButtons_ = options_.find("NONBOUTONS") != std::string::npos;
}

Exclusion ExclusionRules::ByName(const std::string& lowerName) const {
    for (const std::string& extension : excludedExtensions_) {
        if (lowerName.find(extension) != std::string::npos) return Exclusion::DefaultExtension;
    }
    if (noButtons_ && (StartsWith(lowerName, "ww_bt_") || StartsWith(lowerName, "wb_cl_"))) {
        return Exclusion::ButtonPicture;
    }
    if (StartsWith(lowerName, "fc_img_") || StartsWith(lowerName, "ac_img_")) {
        return Exclusion::ApplicationPicture;
    }
    const size_t dot = lowerName.find('.');
    const std::string extension = dot == std::string::npos ? lowerName : lowerName.substr(dot + 1);
    if (!extension.empty() && options_.find("-" + extension) != std::string::npos) {
        return Exclusion::OptionExtension;
    }
    return Exclusion::Kept;
}

Exclusion ExclusionRules::Classify(const std::string& lowerName, const std::string& fullPath) const {
    const Exclusion byName = ByName(lowerName);
    if (byName != Exclusion::Kept) return byName;
    std::uint64_t size = 0;
    if (!kuv::platform::FileSize(fullPath, size) || size == 0) return Exclusion::EmptyFile;
    return Exclusion::Kept;
}

}  // namespace kuv::backup
