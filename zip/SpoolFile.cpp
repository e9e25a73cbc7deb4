#include "zip/SpoolFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace kuv::zip {

bool SpoolFile::Open() {
    if (fd_) return true;
    const std::string folder = platform::TempFolder();
#ifdef O_TMPFILE
    fd_.Reset(open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
#endif
    if (!fd_) {
        // File systems without anonymous files: a named one, unlinked at once.
        std::string tmpl = platform::JoinPath(folder, "kuvzip-spool-XXXXXX");
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        fd_.Reset(mkostemp(name.data(), O_CLOEXEC));
        if (!fd_) return false;
        unlink(name.data());
    }
    size_ = 0;
    return true;
}

bool SpoolFile::Write(const std::uint8_t* data, size_t size) {
    if (!Open() || !platform::WriteAllAt(fd_.get(), data, size, size_)) return false;
    size_ += size;
    return true;
}

bool SpoolFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, size_t size) const {
    if (!fd_ || offset > size_ || size > size_ - offset) return false;
    return platform::ReadAllAt(fd_.get(), buffer, size, offset);
}

void SpoolFile::Truncate(std::uint64_t offset) {
    if (!fd_ || offset >= size_) return;
    // When the space cannot be given back, the bytes past offset are simply
    // never read again and get overwritten by the next writes.
    if (ftruncate(fd_.get(), static_cast<off_t>(offset)) != 0) errno = 0;
    size_ = offset;
}

}  // namespace kuv::zip
