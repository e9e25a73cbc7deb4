// Temporary bodies of the reading side so that the engine links while it is
// being built; each is replaced by its real implementation.
#include "zip/ReaderState.h"
#include "zip/clsZip.h"

using namespace kuv::zip;

void ReaderState::Terminate(clsZip&) { OpenedTempFiles.clear(); }
bool clsZip::ZipOpen(const std::string&) { return false; }
void clsZip::ZipClose() { reader_->EndRecordPosition = 0; }
bool clsZip::ZipIsOpen() const { return reader_->EndRecordPosition != 0; }
std::string clsZip::ZipComment() const { return reader_->zipComment; }
std::int32_t clsZip::inFileCount() const { return reader_->inFileCount; }
std::string clsZip::inFileName(std::int32_t) const { return {}; }
std::int32_t clsZip::FileCompressedSize(std::int32_t) const { return 0; }
std::int32_t clsZip::FileUncompressedSize(std::int32_t) const { return 0; }
kuv::platform::LocalDateTime clsZip::FileDateAndTime(std::int32_t) const { return {}; }
bool clsZip::FileDateAndTimeValid(std::int32_t) const { return false; }
std::int64_t clsZip::FindEndRecord(const std::string&) { return 0; }
bool clsZip::ExtractAllFiles(const std::string&, bool, bool, bool) { return false; }
bool clsZip::ExtractSingleFile(std::int32_t, const std::string&, bool, bool, bool) { return false; }
std::string clsZip::ExtractSgFileToTmp(std::int32_t) { return {}; }
bool clsZip::LoadZippedFile(const std::string&) { return false; }
bool clsZip::TestAllFiles() { return false; }
bool clsZip::FileAddIntoZip(const std::string&, const std::string&, std::int32_t&, bool, bool) { return false; }
bool clsZip::FileRemoveFromZip(const std::string&, const std::string&) { return false; }
