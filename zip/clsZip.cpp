#include "zip/clsZip.h"

#include <stdexcept>

#include "zip/ReaderState.h"
#include "zip/WriterState.h"
#include "zip/ZipNames.h"
#include "zip/ZlibBinding.h"

using namespace kuv::zip;

namespace kuv::zip {

// The reading side's events over the engine's own.
class EngineReaderEvents : public ReaderEvents {
public:
    explicit EngineReaderEvents(clsZip& zip) : zip_(zip) {}
    bool ZipError(ZipMessage message, const std::string& arg) override { return zip_.RaiseZipError(message, arg); }
    void Status(const std::string& text) override { zip_.RaiseStatus(text); }
    bool ProgressExtract(std::int32_t percent) override { return zip_.RaiseProgressExtract(percent); }
    void DoEvents() override { zip_.DoEvents(); }
    const ZlibApi* Zlib() override { return zip_.ZLibVersion().empty() ? nullptr : zip_.zlib_; }

private:
    clsZip& zip_;
};

}  // namespace kuv::zip

clsZip::clsZip()
    : zlib_(LinkedZlib()),
      sizeLimit_(UINT64_MAX),
      writer_(std::make_unique<WriterState>()),
      reader_(std::make_unique<ReaderState>()),
      readerEvents_(std::make_unique<EngineReaderEvents>(*this)) {}

clsZip::~clsZip() {
    ZipClose();
    writer_->ClearMembers();
    reader_->Terminate();
}

void clsZip::SetZlibApi(const ZlibApi* api) { zlib_ = api; }

void clsZip::SetSizeLimit(std::uint64_t bytes) {
    sizeLimit_ = bytes;
}

void clsZip::SetWorkerCount(unsigned count) { writer_->workers = count; }

std::string clsZip::Conv_ASCII_ISO(const std::string& text) const {
    return ConvertNameCharset(text, CharsetDirection::OemToAnsi);
}

std::string clsZip::Conv_ISO_ASCII(const std::string& text) const {
    return ConvertNameCharset(text, CharsetDirection::AnsiToOem);
}

void clsZip::RaiseStatus(const std::string& text) {
    if (Events.Status) Events.Status(text);
}

bool clsZip::RaiseZipError(ZipMessage message, const std::string& arg) {
    bool cancel = false;
    if (Events.ZipError) Events.ZipError(NumberOf(message), MessageText(message, arg), cancel);
    return cancel;
}

void clsZip::RaiseFileZipErr(const std::string& path, ZipMessage message) {
    RaiseFileZipErr(path, NumberOf(message), message);
}

void clsZip::RaiseFileZipErr(const std::string& path, std::int32_t number, ZipMessage message) {
    std::string p = path;
    std::int32_t n = number;
    std::string d = MessageText(message);
    if (Events.FileZipErr) Events.FileZipErr(p, n, d);
}

void clsZip::RaiseWriteFailed(bool mediumLimit) {
    if (Events.WriteFailed) Events.WriteFailed(mediumLimit ? kWriteFailedMediumLimitText : kWriteFailedText);
}

ArchiveLimit clsZip::LimitFor(const std::string& target) const {
    const std::uint64_t medium = kuv::platform::LargestFileOn(kuv::platform::FolderOf(target));
    return medium < sizeLimit_ ? ArchiveLimit{medium, true} : ArchiveLimit{sizeLimit_, false};
}

bool clsZip::RaiseProgressExtract(std::int32_t percent) {
    bool cancel = false;
    if (Events.ProgressExtract) Events.ProgressExtract(percent, cancel);
    return cancel;
}

bool clsZip::RaiseProgressLoad(std::int32_t percent) {
    bool cancel = false;
    if (Events.ProgressLoad) Events.ProgressLoad(percent, cancel);
    return cancel;
}

void clsZip::DoEvents() {
    if (Events.DoEvents) Events.DoEvents();
}
