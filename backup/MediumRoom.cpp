#include "backup/MediumRoom.h"

#include <algorithm>
#include <cstdio>

#include "platform/Files.h"

namespace kuv::backup {

std::string SizeText(std::uint64_t bytes) {
    const double mo = static_cast<double>(bytes) / (1024.0 * 1024.0);
    char text[64];
    if (mo > 1024.0) {
        std::snprintf(text, sizeof text, "%.1f Go", mo / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f Mo", mo);
    }
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

std::string MediumFullText(std::uint64_t needed, std::uint64_t free) {
    return "Support plein : " + SizeText(needed) + " nécessaires, " + SizeText(free) + " disponibles.";
}

std::uint64_t RoomFor(std::uint64_t bytes, std::uint64_t blockSize) {
    const std::uint64_t block = blockSize > 0 ? blockSize : 4096;
    return (bytes + block - 1) / block * block + block;
}

std::string ShortOfRoomForCopy(const std::string& source, const std::string& folder) {
    std::uint64_t size = 0;
    platform::FreeSpace space;
    if (!platform::FileSize(source, size) || !platform::FreeSpaceOf(folder, space)) return {};
    // The copy and its small information file, beside the generations kept
    // until the copy is in place.
    const std::uint64_t needed = RoomFor(size, space.blockSize) + space.blockSize;
    return needed <= space.bytes ? std::string() : MediumFullText(needed, space.bytes);
}

}  // namespace kuv::backup
