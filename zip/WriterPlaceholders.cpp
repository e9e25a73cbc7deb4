// Temporary bodies of the writing side so that the engine links while it is
// being built; each is replaced by its real implementation.
#include "zip/WriterState.h"
#include "zip/clsZip.h"

using namespace kuv::zip;

void WriterState::ClearMembers() { MemberList.clear(); }
std::int32_t clsZip::FileAdd(const std::string&, std::int16_t, bool, bool) { return 0; }
bool clsZip::FileDel(std::int32_t) { return false; }
std::int32_t clsZip::FileCount() const { return 0; }
std::string clsZip::FileName(std::int32_t) const { return {}; }
std::int32_t clsZip::SizeCompressed(std::int32_t) const { return 0; }
std::int32_t clsZip::SizeUncompressed(std::int32_t) const { return 0; }
std::string clsZip::Comment() const { return writer_->comment; }
void clsZip::SetComment(const std::string& text) { writer_->comment = text; }
bool clsZip::WriteZip(const std::string&, bool) { return false; }
std::int32_t clsZip::CreateZip(const std::string&, bool) { return 0; }
std::int32_t clsZip::ybFileAdd(const std::string&, std::int16_t, std::int32_t&, bool, bool) { return 0; }
bool clsZip::WriteEndZip(std::int32_t&) { return false; }
std::int32_t clsZip::LevelCompression() const { return writer_->level; }
void clsZip::SetLevelCompression(std::int32_t lgLevel) { writer_->level = lgLevel; }
std::string clsZip::ZLibVersion() { return {}; }
std::vector<std::uint8_t> clsZip::CompressDeflate(const std::vector<std::uint8_t>&, std::int32_t, bool,
                                                  std::int32_t& codeError) {
    codeError = 17;
    return {};
}
