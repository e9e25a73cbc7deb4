#include "platform/Text.h"

#include <algorithm>
#include <cctype>

namespace kuv::platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; the undefined ones map to the C1 control.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of the UTF-8 sequence starting at s[i], 0 when it is not valid.
size_t SequenceLength(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2; cp = b0 & 0x1F; min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3; cp = b0 & 0x0F; min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4; cp = b0 & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u32string Utf8ToCodepoints(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {  // ASCII, most of the text: the byte is the code point
            out += static_cast<char32_t>(b);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const size_t len = SequenceLength(utf8, i, cp);
        if (len == 0) {
            out += Cp1252ToCodepoint(static_cast<unsigned char>(utf8[i]));
            ++i;
        } else {
            out += cp;
            i += len;
        }
    }
    return out;
}

std::string CodepointsToUtf8(std::u32string_view codepoints) {
    std::string out;
    out.reserve(codepoints.size());
    for (char32_t cp : codepoints) AppendUtf8(out, cp);
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const size_t len = SequenceLength(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char32_t Cp1252ToCodepoint(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
    return byte;
}

bool CodepointToCp1252(char32_t cp, unsigned char& byte) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        byte = static_cast<unsigned char>(cp);
        return true;
    }
    for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == cp) {
            byte = static_cast<unsigned char>(0x80 + k);
            return true;
        }
    }
    return false;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(out, Cp1252ToCodepoint(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8, bool* fits) {
    std::string out;
    bool all = true;
    for (char32_t cp : Utf8ToCodepoints(utf8)) {
        unsigned char b = 0;
        if (CodepointToCp1252(cp, b)) {
            out += static_cast<char>(b);
        } else {
            out += '?';
            all = false;
        }
    }
    if (fits) *fits = all;
    return out;
}

bool FitsCp1252(std::string_view utf8) {
    bool fits = true;
    Utf8ToCp1252(utf8, &fits);
    return fits;
}

std::string EncodeTextFile(std::string_view utf8) {
    bool fits = true;
    std::string ansi = Utf8ToCp1252(utf8, &fits);
    return fits ? ansi : std::string(utf8);
}

std::string DecodeTextFile(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

size_t CharCount(std::string_view utf8) { return Utf8ToCodepoints(utf8).size(); }

std::string CharLeft(std::string_view utf8, size_t count) { return CharMid(utf8, 0, count); }

std::string CharMid(std::string_view utf8, size_t start0, size_t count) {
    const std::u32string cps = Utf8ToCodepoints(utf8);
    if (start0 >= cps.size()) return {};
    return CodepointsToUtf8(std::u32string_view(cps).substr(start0, count));
}

char32_t FoldUpper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c == 0x153) return 0x152;
    if (c == 0x161) return 0x160;
    if (c == 0x17E) return 0x17D;
    return c;
}

char32_t FoldLower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c == 0x152) return 0x153;
    if (c == 0x160) return 0x161;
    if (c == 0x17D) return 0x17E;
    return c;
}

std::string ToUpper(std::string_view utf8) {
    std::u32string cps = Utf8ToCodepoints(utf8);
    for (char32_t& c : cps) c = FoldUpper(c);
    return CodepointsToUtf8(cps);
}

std::string ToLower(std::string_view utf8) {
    // Most names are plain ASCII: folded byte by byte, without the round trip.
    if (IsAscii(utf8)) {
        std::string out(utf8);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        return out;
    }
    std::u32string cps = Utf8ToCodepoints(utf8);
    for (char32_t& c : cps) c = FoldLower(c);
    return CodepointsToUtf8(cps);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return ToLower(a) == ToLower(b);
}

bool LessNoCase(std::string_view a, std::string_view b) {
    const std::u32string la = Utf8ToCodepoints(ToLower(a));
    const std::u32string lb = Utf8ToCodepoints(ToLower(b));
    if (la != lb) return la < lb;
    return a < b;  // a stable order for names that differ only in case
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    const std::u32string t = Utf8ToCodepoints(ToLower(text));
    const std::u32string p = Utf8ToCodepoints(ToLower(prefix));
    return t.compare(0, p.size(), p) == 0 && t.size() >= p.size();
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return std::string(text.substr(b, e - b));
}

double LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    double value = 0;
    bool any = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i++] - '0');
        any = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
            value += (text[i] - '0') * scale;
            scale /= 10;
            any = true;
        }
    }
    if (!any) return 0;
    return negative ? -value : value;
}

}  // namespace kuv::platform
