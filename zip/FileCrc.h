// The CRC-32 (as ZIP stores it) and length of an open file, read from its
// start in chunks: no whole file held in memory.
#pragma once

#include <cstdint>

namespace kuv::zip {

// Reads fd to its end; false on a read error (crc and size then unchanged).
bool FileCrc32(int fd, std::uint32_t& crc, std::uint64_t& size);

}  // namespace kuv::zip
