#pragma once
// One 128-byte record of the link file "W_intlog.wdo", as it lies on disk:
//
//   offset  width  field
//        0     15  key: upper case, Windows-1252, padded with spaces
//       15      8  (kept for the linked application)
//       23     40  value: Windows-1252, padded with spaces
//       63      1  (kept for the linked application)
//       64     60  (kept for the linked application)
//      124      4  count: signed 32-bit little-endian; meaningful in record 1
//
// Record 1 is the header: key beginning with "#INIT#", count = number of data
// records. The fields this program does not use belong to the linked
// application: Decode keeps them and Encode writes them back unchanged.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kuv {

class LinkRecord {
public:
    static constexpr size_t kSize = 128;
    static constexpr size_t kKeyOffset = 0;
    static constexpr size_t kKeyWidth = 15;
    static constexpr size_t kValueOffset = 23;
    static constexpr size_t kValueWidth = 40;
    static constexpr size_t kCountOffset = 124;
    // The header's key; only these first six characters are checked.
    static constexpr std::string_view kHeaderKey = "#INIT#";

    using Bytes = std::array<unsigned char, kSize>;

    // A slot as this program creates it: every text field spaces, count 0.
    LinkRecord();

    // The record held in exactly kSize bytes.
    static LinkRecord Decode(const unsigned char* bytes);
    Bytes Encode() const;

    // The key and value fields as stored (Windows-1252, with their padding).
    std::string KeyField() const;
    std::string ValueField() const;
    // Store Windows-1252 bytes, cut or space-padded to the field's width.
    void SetKeyField(std::string_view cp1252);
    void SetValueField(std::string_view cp1252);

    int32_t Count() const;
    void SetCount(int32_t count);

    // True when the key begins with "#INIT#".
    bool IsHeader() const;
    // The header record as this program writes it: "#INIT#", spaces, count.
    static LinkRecord Header(int32_t count);

    const Bytes& Raw() const { return bytes_; }

private:
    Bytes bytes_;
};

// The key as both operations compare it: spaces trimmed at both ends, upper
// case, in Windows-1252 ('?' for a character it lacks), cut or padded with
// spaces to 15 characters. "nom_zip_s" gives "NOM_ZIP_S      ".
std::string NormaliseLinkKey(std::string_view utf8Key);

// The value as it is stored: Windows-1252 ('?' for a character it lacks), cut
// or padded with spaces to 40 characters.
std::string NormaliseLinkValue(std::string_view utf8Value);

}  // namespace kuv
