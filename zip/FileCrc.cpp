#include "zip/FileCrc.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include <libdeflate.h>

namespace kuv::zip {

bool FileCrc32(int fd, std::uint32_t& crc, std::uint64_t& size) {
    std::vector<unsigned char> buffer(1 << 16);
    std::uint32_t c = 0;
    std::uint64_t n = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        c = libdeflate_crc32(c, buffer.data(), static_cast<size_t>(got));
        n += static_cast<std::uint64_t>(got);
    }
    crc = c;
    size = n;
    return true;
}

}  // namespace kuv::zip
