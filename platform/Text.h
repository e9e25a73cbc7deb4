#pragma once
// Text conversions of the program: inside the program text is UTF-8; on disk
// "ANSI" text is Windows-1252 (text files, link-file records, archive
// comments) and archive member names may be OEM (code page 437, see the
// engine's name table) or UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace kuv::platform {

// Unicode code points of a UTF-8 text. An invalid byte is taken as the
// Windows-1252 character of that byte, so that no input is ever lost.
std::u32string Utf8ToCodepoints(std::string_view utf8);
std::string CodepointsToUtf8(std::u32string_view codepoints);
void AppendUtf8(std::string& out, char32_t codepoint);

// True when the bytes are well-formed UTF-8 (ASCII included).
bool IsValidUtf8(std::string_view bytes);
// True when every byte is below 0x80 (ASCII: UTF-8 and Windows-1252 alike).
bool IsAscii(std::string_view bytes);

// Windows-1252 byte <-> Unicode. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which
// Windows-1252 leaves undefined, map to the C1 control of the same value.
char32_t Cp1252ToCodepoint(unsigned char byte);
// The Windows-1252 byte of a code point; false when it has none.
bool CodepointToCp1252(char32_t codepoint, unsigned char& byte);

std::string Cp1252ToUtf8(std::string_view bytes);
// Windows-1252 bytes of a UTF-8 text; a character that does not fit becomes
// '?'. fits (when given) tells whether every character fitted.
std::string Utf8ToCp1252(std::string_view utf8, bool* fits = nullptr);
bool FitsCp1252(std::string_view utf8);

// A text file's bytes as the program writes them: Windows-1252 when every
// character fits, otherwise UTF-8. Line ends are the caller's.
std::string EncodeTextFile(std::string_view utf8);
// A text file's bytes as the program reads them: UTF-8 when valid, otherwise
// Windows-1252.
std::string DecodeTextFile(std::string_view bytes);
// Lines of a decoded text, accepting CR LF and LF (a lone CR too).
std::vector<std::string> SplitLines(std::string_view text);

// Character counts and cuts of UTF-8 text ("characters 1 to 18" count
// characters, not bytes).
size_t CharCount(std::string_view utf8);
std::string CharLeft(std::string_view utf8, size_t count);
std::string CharMid(std::string_view utf8, size_t start0, size_t count = std::string::npos);

// Upper and lower case of ASCII and Latin-1 letters (what names and keys of
// this program use); other characters unchanged.
char32_t FoldUpper(char32_t c);
char32_t FoldLower(char32_t c);
std::string ToUpper(std::string_view utf8);
std::string ToLower(std::string_view utf8);
// Comparisons without regard to case, as a Windows disk compares names.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool LessNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Blanks (spaces) removed at both ends, as the program's Trim does.
std::string Trim(std::string_view text);

// The numeric value at the start of text, as the program's Val reads it:
// leading blanks skipped, an optional sign, digits, an optional decimal
// point and digits; 0 when no number starts the text.
double LeadingNumber(const std::string& text);

}  // namespace kuv::platform
