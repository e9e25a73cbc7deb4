#include "zip/ZipNames.h"

#include <zlib.h>

#include <algorithm>

#include "platform/Text.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

std::uint32_t CrcUpdate(std::uint32_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const Bytef*>(data);
    uLong c = crc;
    while (size > 0) {  // uInt lengths: in pieces for very large buffers
        const uInt n = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        c = ::crc32(c, p, n);
        p += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(c);
}

std::uint16_t DosTimeFromDate(const platform::LocalDateTime& dt) {
    return static_cast<std::uint16_t>(((dt.hour & 0x1F) << 11) | ((dt.minute & 0x3F) << 5) |
                                      ((dt.second / 2) & 0x1F));
}

std::uint16_t DosDateFromDate(const platform::LocalDateTime& dt) {
    return static_cast<std::uint16_t>((((dt.year - 1980) & 0x7F) << 9) | ((dt.month & 0x0F) << 5) |
                                      (dt.day & 0x1F));
}

platform::LocalDateTime DateFromDosWords(std::uint16_t dosDate, std::uint16_t dosTime, bool* valid) {
    platform::LocalDateTime dt;
    dt.year = 1980 + ((dosDate >> 9) & 0x7F);
    dt.month = (dosDate >> 5) & 0x0F;
    dt.day = dosDate & 0x1F;
    dt.hour = (dosTime >> 11) & 0x1F;
    dt.minute = (dosTime >> 5) & 0x3F;
    dt.second = (dosTime & 0x1F) * 2;
    if (valid) {
        static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        bool ok = dt.month >= 1 && dt.month <= 12 && dt.day >= 1 && dt.hour < 24 && dt.minute < 60 &&
                  dt.second < 60;
        if (ok) {
            const bool leap = (dt.year % 4 == 0 && dt.year % 100 != 0) || dt.year % 400 == 0;
            const int days = (dt.month == 2 && !leap) ? 28 : kDays[dt.month - 1];
            ok = dt.day <= days;
        }
        *valid = ok;
    }
    return dt;
}

const std::array<AnsiOemPair, 38>& AnsiOemTable() {
    static const std::array<AnsiOemPair, 38> table = {{
        {132, 228}, {148, 246}, {129, 252}, {225, 223}, {142, 196}, {153, 214}, {154, 220},
        {128, 199}, {130, 233}, {131, 226}, {133, 224}, {134, 229}, {135, 231}, {136, 234},
        {137, 235}, {138, 232}, {139, 239}, {140, 238}, {143, 197}, {144, 201}, {147, 244},
        {150, 251}, {151, 249}, {20, 182},  {145, 230}, {146, 198}, {155, 162}, {156, 163},
        {166, 170}, {167, 186}, {171, 189}, {172, 188}, {237, 216}, {241, 177}, {246, 247},
        {253, 178}, {21, 167},  {157, 165},
    }};
    return table;
}

namespace {

// Every byte's converted value in one direction: the pair of the table that
// names the byte, or the byte itself. A lookup instead of a pass over the
// table for each character of each name.
std::array<std::uint8_t, 256> CharsetMap(CharsetDirection direction) {
    std::array<std::uint8_t, 256> map{};
    std::array<bool, 256> named{};
    for (std::size_t b = 0; b < map.size(); ++b) map[b] = static_cast<std::uint8_t>(b);
    for (const AnsiOemPair& pair : AnsiOemTable()) {
        const std::uint8_t from = direction == CharsetDirection::AnsiToOem ? pair.ansi : pair.oem;
        const std::uint8_t to = direction == CharsetDirection::AnsiToOem ? pair.oem : pair.ansi;
        if (named[from]) continue;  // the first pair naming a byte wins
        named[from] = true;
        map[from] = to;
    }
    return map;
}

}  // namespace

std::string ConvertNameCharset(std::string_view bytes, CharsetDirection direction) {
    static const std::array<std::uint8_t, 256> toOem = CharsetMap(CharsetDirection::AnsiToOem);
    static const std::array<std::uint8_t, 256> toAnsi = CharsetMap(CharsetDirection::OemToAnsi);
    const std::array<std::uint8_t, 256>& map = direction == CharsetDirection::AnsiToOem ? toOem : toAnsi;
    std::string out(bytes);
    for (char& c : out) c = static_cast<char>(map[static_cast<std::uint8_t>(c)]);  // each byte converted once
    return out;
}

namespace {

// The OEM byte of a table character; 0 when cp is not in the table.
std::uint8_t OemByteOf(char32_t cp) {
    for (const AnsiOemPair& pair : AnsiOemTable())
        if (cp == pair.ansi) return pair.oem;
    return 0;
}

// A character the OEM form can carry so that every reader reads it back:
// printable ASCII, or a table character whose OEM byte is not a control.
bool FitsOemName(char32_t cp) {
    if (cp >= 0x20 && cp < 0x7F) return true;
    return OemByteOf(cp) >= 0x20;
}

}  // namespace

std::string EncodeMemberName(std::string_view utf8Name, bool& utf8Flag) {
    std::string ansi;
    for (char32_t cp : platform::Utf8ToCodepoints(utf8Name)) {
        if (FitsOemName(cp)) {
            ansi += static_cast<char>(static_cast<std::uint8_t>(cp));
        } else {
            utf8Flag = true;
            std::string name = platform::CodepointsToUtf8(platform::Utf8ToCodepoints(utf8Name));
            for (char& ch : name)
                if (ch == '\\') ch = '/';
            return name;
        }
    }
    utf8Flag = false;
    return ConvertNameCharset(ansi, CharsetDirection::AnsiToOem);
}

std::string SourceNameToUtf8(std::string_view bytes) {
    if (platform::IsAscii(bytes)) return std::string(bytes);  // ASCII is already UTF-8
    return platform::CodepointsToUtf8(platform::Utf8ToCodepoints(bytes));
}

std::string UnicodePathExtra(std::string_view storedBytes, std::string_view utf8Name) {
    if (platform::IsAscii(utf8Name) || utf8Name.size() > 0xFFFF - 9) return {};
    std::string field(9, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(field.data());
    PutU16(p, 0x7075);                                                 // header id: Unicode Path
    PutU16(p + 2, static_cast<std::uint16_t>(5 + utf8Name.size()));    // data size
    p[4] = 1;                                                          // version
    PutU32(p + 5, CrcUpdate(0, storedBytes.data(), storedBytes.size()));  // CRC-32 of the stored name
    field.append(utf8Name);
    return field;
}

std::string DecodeMemberName(std::string_view stored, bool utf8Flag) {
    if (utf8Flag) return platform::CodepointsToUtf8(platform::Utf8ToCodepoints(stored));
    return platform::Cp1252ToUtf8(ConvertNameCharset(stored, CharsetDirection::OemToAnsi));
}

std::string EncodeComment(std::string_view utf8) { return platform::Utf8ToCp1252(utf8); }

std::string DecodeComment(std::string_view stored) { return platform::Cp1252ToUtf8(stored); }

}  // namespace kuv::zip
