#pragma once
// The one scratch-folder helper of the tests: a fresh folder under the
// temporary folder, removed with everything in it (read-only or unsearchable
// sub-folders included) when the helper goes. std::filesystem only: nothing
// goes through the shell.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace kuvtest {

class ScratchFolder {
public:
    // A folder PREFIX-XXXXXX in base (the temporary folder when empty).
    explicit ScratchFolder(const std::string& prefix = "kuvzip-test", const std::string& base = {}) {
        std::error_code ec;
        std::filesystem::path in = base.empty() ? std::filesystem::temp_directory_path(ec) : std::filesystem::path(base);
        if (ec) in = "/tmp";
        std::string tmpl = (in / (prefix + "-XXXXXX")).string();
        if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
    }
    ~ScratchFolder() { Remove(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Removes path and everything under it, giving folders back the rights
    // a test may have taken away; links are removed, never followed.
    static void Remove(const std::string& path) {
        if (path.empty()) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(path, ec);
        if (ec) return;
        if (fs::is_directory(st)) {
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
            for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
                Remove(it->path().string());
        }
        fs::remove(path, ec);
    }

private:
    std::string path_;
};

}  // namespace kuvtest
