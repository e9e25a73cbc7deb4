#include "link/LinkRecord.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace kuv {

namespace {

// Cut or pad (with spaces) to exactly width bytes.
std::string Fit(std::string_view bytes, size_t width) {
    std::string out(bytes.substr(0, std::min(bytes.size(), width)));
    out.resize(width, ' ');
    return out;
}

}  // namespace

LinkRecord::LinkRecord() {
    bytes_.fill(' ');
    SetCount(0);
}

LinkRecord LinkRecord::Decode(const unsigned char* bytes) {
    LinkRecord record;
    std::memcpy(record.bytes_.data(), bytes, kSize);
    return record;
}

LinkRecord::Bytes LinkRecord::Encode() const { return bytes_; }

std::string LinkRecord::KeyField() const {
    return std::string(reinterpret_cast<const char*>(bytes_.data()) + kKeyOffset, kKeyWidth);
}

std::string LinkRecord::ValueField() const {
    return std::string(reinterpret_cast<const char*>(bytes_.data()) + kValueOffset, kValueWidth);
}

void LinkRecord::SetKeyField(std::string_view cp1252) {
    const std::string fitted = Fit(cp1252, kKeyWidth);
    std::memcpy(bytes_.data() + kKeyOffset, fitted.data(), kKeyWidth);
}

void LinkRecord::SetValueField(std::string_view cp1252) {
    const std::string fitted = Fit(cp1252, kValueWidth);
    std::memcpy(bytes_.data() + kValueOffset, fitted.data(), kValueWidth);
}

int32_t LinkRecord::Count() const {
    const unsigned char* p = bytes_.data() + kCountOffset;
    const uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                       uint32_t(p[3]) << 24;
    return static_cast<int32_t>(u);
}

void LinkRecord::SetCount(int32_t count) {
    const uint32_t u = static_cast<uint32_t>(count);
    unsigned char* p = bytes_.data() + kCountOffset;
    p[0] = static_cast<unsigned char>(u & 0xFF);
    p[1] = static_cast<unsigned char>((u >> 8) & 0xFF);
    p[2] = static_cast<unsigned char>((u >> 16) & 0xFF);
    p[3] = static_cast<unsigned char>((u >> 24) & 0xFF);
}

bool LinkRecord::IsHeader() const {
    return std::memcmp(bytes_.data() + kKeyOffset, kHeaderKey.data(), kHeaderKey.size()) == 0;
}

LinkRecord LinkRecord::Header(int32_t count) {
    LinkRecord header;
    header.SetKeyField(kHeaderKey);  // key: "#INIT#", padded with spaces
    header.SetCount(count);          // count: number of data records
    return header;
}

std::string NormaliseLinkKey(std::string_view utf8Key) {
    const std::string upper = platform::ToUpper(platform::Trim(utf8Key));
    return Fit(platform::Utf8ToCp1252(upper), LinkRecord::kKeyWidth);
}

std::string NormaliseLinkValue(std::string_view utf8Value) {
    return Fit(platform::Utf8ToCp1252(utf8Value), LinkRecord::kValueWidth);
}

}  // namespace kuv
