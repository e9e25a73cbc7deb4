#pragma once
// The small tables of the archive format: the CRC-32 table, the MS-DOS time
// and date words, and the conversion of member names between the program's
// text (UTF-8) and the bytes stored in the archive.

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace kuv::zip {

// ---- CRC-32 (zlib's crc32) ----
// Continues a CRC-32 over more bytes; start with crc = 0 (the finished value
// of nothing).
std::uint32_t CrcUpdate(std::uint32_t crc, const void* data, size_t size);

// ---- MS-DOS time and date words ----
// From calendar fields in local time: time = hours<<11 | minutes<<5 |
// seconds/2; date = (year-1980, low 7 bits)<<9 | month<<5 | day.
std::uint16_t DosTimeFromDate(const platform::LocalDateTime& dt);
std::uint16_t DosDateFromDate(const platform::LocalDateTime& dt);
// The calendar fields a pair of words stands for, taken as they are (no time
// zone conversion). valid is false when they are not a real calendar date.
platform::LocalDateTime DateFromDosWords(std::uint16_t dosDate, std::uint16_t dosTime, bool* valid = nullptr);

// ---- name character sets ----
// The 38 (OEM code page 437, Windows-1252) pairs of the archive's name table.
struct AnsiOemPair {
    std::uint8_t oem;
    std::uint8_t ansi;
};
const std::array<AnsiOemPair, 38>& AnsiOemTable();

// Converts single-byte text through the table, each byte at most once.
enum class CharsetDirection { AnsiToOem, OemToAnsi };
std::string ConvertNameCharset(std::string_view bytes, CharsetDirection direction);

// The bytes stored for a member name given in UTF-8: through the OEM table
// when every character is printable ASCII or a character of the table whose
// OEM byte is 0x20 or more (utf8Flag false); otherwise (a control character,
// a table character whose OEM byte other tools read as a control, any other
// character) the UTF-8 bytes themselves with "/" between folders (utf8Flag
// true: general purpose bit 11; see kVersion20UnixHost).
std::string EncodeMemberName(std::string_view utf8Name, bool& utf8Flag);
// A file name from the disk as the program's UTF-8 text: bytes that are not
// UTF-8 are read as Windows-1252 (the program's ANSI rule).
std::string SourceNameToUtf8(std::string_view bytes);
// The Info-ZIP Unicode Path extra field (0x7075, version 1) for a name
// stored through the OEM table: the CRC-32 of the stored bytes, then the
// UTF-8 name. Empty when the name is all ASCII (nothing to add).
std::string UnicodePathExtra(std::string_view storedBytes, std::string_view utf8Name);
// The UTF-8 name of stored bytes: as UTF-8 when bit 11 is set, otherwise
// through the OEM table, the other bytes taken as Windows-1252.
std::string DecodeMemberName(std::string_view stored, bool utf8Flag);

// The archive comment: stored as Windows-1252 ('?' for what does not fit).
std::string EncodeComment(std::string_view utf8);
std::string DecodeComment(std::string_view stored);

}  // namespace kuv::zip
