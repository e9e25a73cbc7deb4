#include "zip/SpoolFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace kuv::zip {

SpoolFile::~SpoolFile() {
    if (fd_ >= 0) close(fd_);
}

bool SpoolFile::Open() {
    if (fd_ >= 0) return true;
    const std::string folder = platform::TempFolder();
#ifdef O_TMPFILE
    fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0) {
        // File systems without anonymous files: a named one, unlinked at once.
        std::string tmpl = platform::JoinPath(folder, "kuvzip-spool-XXXXXX");
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        fd_ = mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) return false;
        unlink(name.data());
    }
    size_ = 0;
    return true;
}

bool SpoolFile::Write(const std::uint8_t* data, size_t size) {
    if (!Open() || !platform::WriteAllAt(fd_, data, size, size_)) return false;
    size_ += size;
    return true;
}

bool SpoolFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, size_t size) const {
    if (fd_ < 0 || offset > size_ || size > size_ - offset) return false;
    return platform::ReadAllAt(fd_, buffer, size, offset);
}

void SpoolFile::Truncate(std::uint64_t offset) {
    if (fd_ < 0 || offset >= size_) return;
    // When the space cannot be given back, the bytes past offset are simply
    // never read again and get overwritten by the next writes.
    if (ftruncate(fd_, static_cast<off_t>(offset)) != 0) errno = 0;
    size_ = offset;
}

}  // namespace kuv::zip
