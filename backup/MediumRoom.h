#pragma once
// Room on a medium before something is written there: what a file of a
// given size takes (whole blocks, and one more for the folder's entry and
// what goes beside it) and the message when it does not fit.

#include <cstdint>
#include <string>

namespace kuv::backup {

// A size as the messages show it: "12,5 Mo", or "1,2 Go" past 1,024 Mo.
std::string SizeText(std::uint64_t bytes);

// "Support plein : " + needed + " nécessaires, " + free + " disponibles."
std::string MediumFullText(std::uint64_t needed, std::uint64_t free);

// The room a file of bytes takes on a file system of blockSize blocks, with
// one block to spare.
std::uint64_t RoomFor(std::uint64_t bytes, std::uint64_t blockSize);

// MediumFullText when a copy of the file source does not fit in folder's
// file system; empty when it fits or the room cannot be known (the copy then
// fails by itself if it must).
std::string ShortOfRoomForCopy(const std::string& source, const std::string& folder);

}  // namespace kuv::backup
