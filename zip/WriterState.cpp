#include "zip/WriterState.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>

#include "platform/Files.h"
#include "zip/ArchiveWriter.h"
#include "zip/CompressionPipeline.h"
#include "zip/SpoolFile.h"
#include "zip/clsZip.h"

namespace kuv::zip {

WriterState::WriterState() = default;

WriterState::~WriterState() {
    while (!streams.empty()) DiscardStream(streams.begin()->first);
}

CompressionPipeline* WriterState::Pipeline(const ZlibApi* zlib, bool excludeCRC32) {
    if (pipeline_ && pipelineZlib_ == zlib && pipelineLevel_ == level && pipelineNoCrc_ == excludeCRC32 &&
        pipelineWorkers_ == workers)
        return pipeline_.get();
    pipeline_.reset();  // its threads end before the new ones start
    PipelineOptions options;
    options.zlib = zlib;
    options.level = level;
    options.excludeCRC32 = excludeCRC32;
    options.threads = workers;
    options.idle = [this] {
        if (idle) idle();
    };
    try {
        pipeline_ = std::make_unique<CompressionPipeline>(options);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    pipelineZlib_ = zlib;
    pipelineLevel_ = level;
    pipelineNoCrc_ = excludeCRC32;
    pipelineWorkers_ = workers;
    return pipeline_.get();
}

WriterState& WriterState::Of(clsZip& owner) { return *owner.writer_; }

bool WriterState::HasMemberNamed(const std::string& storedName) {
    if (indexedCount_ != MemberList.size()) {
        names_.clear();
        for (const ZipMemberEntry& m : MemberList) names_.insert(m.StoredName);
        indexedCount_ = MemberList.size();
    }
    return names_.count(std::string_view(storedName)) != 0;
}

void WriterState::AddMember(ZipMemberEntry&& member) {
    const bool indexed = indexedCount_ == MemberList.size();
    // Only a member copied from its file when the archive is written still
    // needs the file's path.
    if (!member.StoreFromDisk) std::string().swap(member.sourcePath);
    MemberList.push_back(std::move(member));
    if (indexed) {
        names_.insert(MemberList.back().StoredName);
        indexedCount_ = MemberList.size();
    }
}

void WriterState::ClearMembers() {
    MemberList.clear();
    MembersRemoved();
    if (spool) spool->Reset();
}

std::int32_t WriterState::OpenStreamOnOutput(ArchiveOutput& out) {
    auto handle = std::make_unique<StreamHandle>();
    handle->out = &out;
    const std::int32_t number = nextHandle++;
    streams[number] = std::move(handle);
    return number;
}

StreamHandle* WriterState::Stream(std::int32_t handle) {
    auto it = streams.find(handle);
    return it == streams.end() ? nullptr : it->second.get();
}

bool WriterState::StreamFailed(std::int32_t handle) const {
    auto it = streams.find(handle);
    return it == streams.end() || it->second->failed || it->second->out->Failed();
}

std::uint64_t WriterState::StreamPosition(std::int32_t handle) const {
    auto it = streams.find(handle);
    return it == streams.end() ? 0 : it->second->out->Position();
}

bool WriterState::WriteStreamCentral(std::int32_t handle, std::uint64_t position, std::uint64_t& bytesWritten,
                                     std::int32_t& memberCount) {
    bytesWritten = 0;
    memberCount = 0;
    StreamHandle* s = Stream(handle);
    if (!s || StreamFailed(handle) || !s->out->MoveTo(position)) return false;
    for (const ZipMemberEntry& m : MemberList) {
        if (m.streamHandle != handle) continue;
        if (!WriteCentralEntry(*s->out, m)) return false;
        ++memberCount;
    }
    if (!s->out->Flush()) return false;
    bytesWritten = s->out->Position() - position;
    return true;
}

bool WriterState::IsStreamFile(const std::string& path) const {
    if (streams.empty()) return false;
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) return false;
    for (const auto& entry : streams) {
        struct stat open {};
        if (entry.second->out && fstat(entry.second->out->fd(), &open) == 0 && open.st_dev == file.st_dev &&
            open.st_ino == file.st_ino)
            return true;
    }
    return false;
}

void WriterState::ReleaseStream(std::int32_t handle) {
    MemberList.erase(std::remove_if(MemberList.begin(), MemberList.end(),
                                    [handle](const ZipMemberEntry& m) { return m.streamHandle == handle; }),
                     MemberList.end());
    MembersRemoved();
    DiscardStream(handle);
}

void WriterState::DiscardStream(std::int32_t handle) {
    auto it = streams.find(handle);
    if (it == streams.end()) return;
    const bool owned = it->second->ownsFile;
    const std::string temp = it->second->tempPath;
    it->second->out = nullptr;
    it->second->owned.reset();  // closes the file when it is ours
    if (owned && !temp.empty()) platform::RemoveFile(temp);
    streams.erase(it);
}

}  // namespace kuv::zip
