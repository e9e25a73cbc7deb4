#pragma once
// The file "W_intlog.wdo" shared with the linked application: fixed 128-byte
// records, a header record "#INIT#" holding the count, then one record per
// key. Both operations open the file, do their work under an advisory lock
// and close it again; nothing is kept open between calls.

#include <string>

namespace kuv {

// The link file's name, in the program's working directory.
inline constexpr const char* kLinkFileName = "W_intlog.wdo";

// The 40-character value stored under key (with its trailing blanks; callers
// trim), or empty text when the key is absent or the file cannot be used.
// Text is UTF-8 on this side; the file holds Windows-1252.
std::string ReadLinkValue(const std::string& key, const std::string& filePath = kLinkFileName);

// Stores value (cut or padded to 40 characters) under key, creating the
// record when the key is absent. False when the file cannot be used.
bool WriteLinkValue(const std::string& key, const std::string& value,
                    const std::string& filePath = kLinkFileName);

}  // namespace kuv
