// Extraction of the members of the open archive: into a folder (all, or one
// by number), into the temporary folder, or only decompressed and checked
// (TestAllFiles); and opening a file with its associated program.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <functional>
#include <deque>
#include <new>
#include <string_view>
#include <unordered_map>

#include "platform/Files.h"
#include "platform/Programs.h"
#include "zip/DeferredDeletion.h"
#include "zip/FastInflate.h"
#include "zip/SliceInflate.h"
#include "zip/StreamInflate.h"
#include "zip/OrderedWork.h"
#include "zip/ReaderIo.h"
#include "zip/ReaderState.h"
#include "zip/SafeMemberPath.h"
#include "zip/ZipNames.h"
#include "zip/ZlibBinding.h"
#include "zip/clsZip.h"

using namespace kuv::zip;

namespace {

// The prepared name as the status line shows it ("\" between folders).
std::string ShownName(const PreparedName& p) {
    std::string out;
    for (const std::string& f : p.folders) out += f + "\\";
    if (!p.fileName.empty()) out += p.fileName;
    else if (!out.empty()) out.pop_back();
    return out;
}

// The folder without a trailing separator (the root stays "/").
std::string WithoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// A program's one-line answer without its line end and blanks.
std::string AnswerLine(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// How often the window gets its events while the engine waits or streams.
constexpr int kIdleMs = 50;

// Opens (creating them) the sub-folders parts under base, through cache:
// kept open while members of the same folder follow each other. Returns:
// false (failedAt the level that failed, cache emptied) on failure.
bool OpenCachedFolder(const SafeFolder& base, FolderCache& cache, const std::vector<std::string>& parts,
                      std::string& failedAt) {
    if (cache.folder && cache.parts == parts) return true;
    auto opened = std::make_unique<SafeFolder>();
    if (!opened->OpenUnder(base, parts, true, failedAt)) {
        cache.folder.reset();
        return false;
    }
    cache.folder = std::move(opened);
    cache.parts = parts;
    return true;
}

// What a worker needs to write one sound member as a file, copied: the
// workers touch nothing of the reader's state.
struct WorkerWrite {
    PreparedName prepared;
    bool overWrite = false;
    bool setTime = false;
    std::int64_t modified = 0;
};

// A file written on a worker, waiting for its name (an existing target is
// replaced), or already under it (a new file), until its member's turn;
// dropped before, it is removed (the file goes first: members go in reverse
// order).
struct WrittenFile {
    std::shared_ptr<SafeFolder> folder;
    std::unique_ptr<PendingFile> file;
    std::unique_ptr<PlacedFile> placed;
};

// Writes a sound member's bytes on a worker, exactly as the caller's steps
// would when nothing goes wrong: a new file under its name at once, a
// replacement without a name (or under a temporary one) beside the target.
// Returns: the ending of the member for the caller to run in directory
// order, which names the replacement or keeps the new file (so that nothing
// is left past a cancellation); empty, with nothing changed, when anything
// is not plain (a folder that cannot be made, a target kept or in the way,
// one that appeared meanwhile, a refused write): the caller's steps then do
// the member again and raise its errors.
std::function<bool()> WriteOnWorker(const SafeFolder& base, FolderCache& cache, const WorkerWrite& w,
                                    const std::vector<std::uint8_t>& data) {
    std::string failedAt;
    if (!OpenCachedFolder(base, cache, w.prepared.folders, failedAt)) return {};
    auto written = std::make_shared<WrittenFile>();
    written->folder = cache.folder;
    // Most targets are new: made at once, and only what stands in the way
    // is looked at.
    written->placed = std::make_unique<PlacedFile>(*written->folder);
    const int placed = written->placed->Write(w.prepared.fileName, data.data(), data.size(), w.setTime, w.modified);
    if (placed == 0) return [written] { return written->placed->Keep(); };
    if (placed != EEXIST) return {};
    const EntryState state = StateOf(*written->folder, w.prepared.fileName);
    if (state == EntryState::Missing || !w.overWrite || state == EntryState::Folder) return {};
    written->file = std::make_unique<PendingFile>(*written->folder);
    PendingFile& file = *written->file;
    if (!file.Create(false) || (!data.empty() && !file.Write(data.data(), data.size()))) return {};
    if (w.setTime) file.SetTimes(w.modified);
    if (!file.Close()) return {};
    return [written, name = w.prepared.fileName] { return written->file->Commit(name, false); };
}

// Inflates a large member of one deflate stream on a worker (StreamInflate.h,
// with zlib's word on a damaged stream) into a pending file beside its
// target, while the other workers go on with the members after it.
// Returns: the ending for the caller to run in directory order, which names
// the file; empty, with nothing left, when anything is not plain (a folder
// that cannot be made, a target kept or in the way, a damaged member, a
// refused write): the caller's steps then do the member again and raise its
// errors with their true causes.
std::function<bool()> InflateOnWorker(const SafeFolder& base, FolderCache& cache, InflateBuffers& buffers,
                                      const ZlibApi& zlib, const WorkerWrite& w, int fd, const MemberData& member) {
    std::string failedAt;
    if (!OpenCachedFolder(base, cache, w.prepared.folders, failedAt)) return {};
    const EntryState state = StateOf(*cache.folder, w.prepared.fileName);
    if (state == EntryState::Folder || (state != EntryState::Missing && !w.overWrite)) return {};
    auto written = std::make_shared<WrittenFile>();
    written->folder = cache.folder;
    written->file = std::make_unique<PendingFile>(*written->folder);
    PendingFile& file = *written->file;
    const bool missing = state == EntryState::Missing;
    if (!file.Create(missing, member.uncompressedSize)) return {};
    const InflateResult result = DecompressMemberData(
        zlib, fd, member, [&file](const std::uint8_t* p, std::size_t n) { return file.Write(p, n); }, buffers,
        [&file] { return file.Rewind(); });
    if (result != InflateResult::Ok) return {};
    if (w.setTime) file.SetTimes(w.modified);
    if (!file.Close()) return {};
    return [written, name = w.prepared.fileName, missing] { return written->file->Commit(name, missing); };
}

// The place in the target folder a member in flight takes, to keep two
// members that meet there in directory order. Compared without ASCII case:
// on a FAT key "A.TXT" and "a.txt" are one file.
struct TargetPlace {
    std::string path;     // relative, "/" between parts, ASCII lower case; empty: touches nothing
    bool isFile = false;  // a file (otherwise a folder)
};

// The places of the members in flight. Two places meet when they lead to
// the same name, or when one is a file the other needs as a folder.
class PlacesInFlight {
public:
    bool Meets(const TargetPlace& p) const {
        if (p.path.empty()) return false;
        if (exact_.count(p.path) != 0 || (p.isFile && folders_.count(p.path) != 0)) return true;
        bool met = false;
        EachFolderAbove(p.path, [&](const std::string& folder) { met = met || files_.count(folder) != 0; });
        return met;
    }
    void Add(const TargetPlace& p) { Count(p, +1); }
    void Remove(const TargetPlace& p) { Count(p, -1); }

private:
    // Calls f with each folder the path lies in ("a", "a/b" for "a/b/c").
    template <class F>
    static void EachFolderAbove(const std::string& path, F f) {
        for (std::size_t cut = path.find('/'); cut != std::string::npos; cut = path.find('/', cut + 1))
            f(path.substr(0, cut));
    }
    static void Step(std::unordered_map<std::string, int>& m, const std::string& key, int by) {
        if ((m[key] += by) <= 0) m.erase(key);
    }
    void Count(const TargetPlace& p, int by) {
        if (p.path.empty()) return;
        Step(exact_, p.path, by);
        if (p.isFile) Step(files_, p.path, by);
        EachFolderAbove(p.path, [&](const std::string& folder) { Step(folders_, folder, by); });
    }
    std::unordered_map<std::string, int> exact_;    // every place in flight
    std::unordered_map<std::string, int> files_;    // the files among them
    std::unordered_map<std::string, int> folders_;  // the folders they lie in
};

TargetPlace PlaceOf(const PreparedName& p) {
    TargetPlace place;
    if (p.refused) return place;
    place.path = p.RelativePath();
    for (char& c : place.path)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    place.isFile = !p.isFolder;
    return place;
}

// Returns: a number (never 0) for the folder a file's place lies in.
std::uint64_t FolderNumber(const TargetPlace& p) {
    const std::size_t cut = p.path.rfind('/');
    const std::string_view folder = std::string_view(p.path).substr(0, cut == std::string::npos ? 0 : cut);
    return static_cast<std::uint64_t>(std::hash<std::string_view> {}(folder)) | 1u;
}

std::int32_t PercentOf(std::int32_t i, std::int32_t total) {
    if (total <= 0) return 100;
    return static_cast<std::int32_t>(std::nearbyint(100.0 * i / total));  // halves to even
}

}  // namespace

bool ReaderState::LocateMember(ReaderEvents& events, const CentralEntry& e, const std::string& target, MemberData& data) {
    if (e.IsEncrypted() || (e.localFound && (e.local.flags & kFlagEncrypted))) {
        events.ZipError(ZipMessage::UnsupportedFeature, e.name);
        return false;
    }
    // The central entry's values rule; a local header that contradicts them
    // (name, method, CRC or sizes, or its data descriptor) is corrupt.
    headerCommon = e.local;
    if (!e.LocalAgrees() || e.spanEnd > bounds.start) {
        events.ZipError(ZipMessage::CorruptHeader, target);
        return false;
    }
    data.dataOffset = e.dataOffset;
    data.compressedSize = e.compressedSize;
    data.uncompressedSize = e.uncompressedSize;
    data.crc32 = e.common.crc32;
    data.method = e.common.method;
    if (data.method != kMethodStored && data.method != kMethodDeflate) {
        events.ZipError(ZipMessage::UnsupportedMethod, e.name);
        return false;
    }
    return true;
}

bool ReaderState::DecompressMember(ReaderEvents& events, const CentralEntry& e, const std::string& target,
                                   const MemberSink& sink, bool& keepOnCrc, const MemberRewind& rewind) {
    keepOnCrc = false;
    MemberData data;
    if (!LocateMember(events, e, target, data)) return false;
    const ZlibApi* zlib = events.Zlib();
    if (!zlib) return false;
    InflateResult result;
    if (InflatesInOneCall(data)) {
        if (!oneCall) oneCall = std::make_unique<OneCallInflater>();
        std::vector<std::uint8_t> out;
        result = oneCall->InflateFrom(fd.get(), data, out);
        // The bytes of a CRC mismatch still go to the sink: the ZipError 5
        // handler may keep them, as it may keep those streamed.
        if ((result == InflateResult::Ok || result == InflateResult::CrcMismatch) && !out.empty() &&
            !sink(out.data(), out.size()))
            result = InflateResult::SinkError;
    } else {
        if (!buffers) buffers = std::make_unique<InflateBuffers>();
        // The window stays alive while a large member streams through.
        EventPacer pacer([&] { events.DoEvents(); }, std::chrono::milliseconds(kIdleMs));
        const MemberSink paced = [&](const std::uint8_t* p, std::size_t n) {
            if (!sink(p, n)) return false;
            pacer.Tick();
            return true;
        };
        result = DecompressMemberData(*zlib, fd.get(), data, paced, *buffers, rewind);
    }
    return ReportInflate(events, result, e, target, keepOnCrc);
}

bool ReaderState::ReportInflate(ReaderEvents& events, InflateResult result, const CentralEntry& e,
                                const std::string& target, bool& keepOnCrc) {
    switch (result) {
        case InflateResult::Ok:
            return true;
        case InflateResult::CrcMismatch:
            keepOnCrc = events.ZipError(ZipMessage::CrcMismatch, target);
            events.DoEvents();
            return false;
        case InflateResult::ReadError:
            events.ZipError(ZipMessage::ArchiveReadError, path);
            return false;
        case InflateResult::SinkError:
            if (IsDiskFullError(sinkError)) {
                events.ZipError(ZipMessage::DiskFull, target);
                return false;
            }
            [[fallthrough]];
        default:
            events.ZipError(ZipMessage::Unidentified, e.name);
            return false;
    }
}

bool ReaderState::ExtractMember(ReaderEvents& events, const CentralEntry& e, const DirectoryEntry& entry,
                                const SafeFolder& base, FolderCache& cache, const ExtractOptions& options,
                                std::string* writtenPath, const MemberSource* source) {
    std::string name = e.name;
    PreparedName prepared = PrepareMemberName(name, options.preservePath);
    if (!options.replaceColons && !prepared.refused && !prepared.isFolder) {
        // The temporary folder takes the stored file name as it is.
        const std::size_t cut = name.find_last_of("\\/");
        prepared.fileName = cut == std::string::npos ? name : name.substr(cut + 1);
    }
    if (prepared.refused) {
        events.ZipError(ZipMessage::NameRefused, name);
        return false;
    }
    std::string failedAt;
    if (!OpenCachedFolder(base, cache, prepared.folders, failedAt)) {
        events.ZipError(ZipMessage::CannotCreateFolder, failedAt);
        return false;
    }
    const SafeFolder& folder = *cache.folder;
    events.Status("Extraction ...\\" + ShownName(prepared));
    if (prepared.isFolder) return true;  // the folder now exists

    const std::string target = kuv::platform::JoinPath(folder.path(), prepared.fileName);
    const EntryState state = StateOf(folder, prepared.fileName);
    if (state != EntryState::Missing) {
        if (!options.overWrite) {
            events.ZipError(ZipMessage::TargetExists, target);
            return false;
        }
        if (state == EntryState::Folder) {
            events.ZipError(ZipMessage::CannotDelete, target);
            return false;
        }
    }
    PendingFile file(folder);
    // A file that could not be made or written for want of room says so;
    // other refusals keep their numbers.
    const auto writeRefused = [&] {
        if (IsDiskFullError(file.Error())) events.ZipError(ZipMessage::DiskFull, target);
        else if (state != EntryState::Missing) events.ZipError(ZipMessage::CannotDelete, target);
        else events.ZipError(ZipMessage::Unidentified, name);
        return false;
    };
    if (!file.Create(state == EntryState::Missing, e.uncompressedSize)) return writeRefused();
    bool keep = false;
    sinkError = 0;
    const MemberSink sink = [&](const std::uint8_t* p, std::size_t n) {
        if (file.Write(p, n)) return true;
        sinkError = file.Error();
        return false;
    };
    const MemberRewind rewind = [&] { return file.Rewind(); };
    const bool sound = source ? (*source)(target, sink, rewind, keep)
                              : DecompressMember(events, e, target, sink, keep, rewind);
    if (!sound && !keep) return false;  // the pending file is removed; an existing target is untouched
    std::int64_t modified = 0;
    if (options.keepModDate && entry.ModifiedTime(modified)) file.SetTimes(modified);
    if (!file.Commit(prepared.fileName, state == EntryState::Missing)) return writeRefused();
    if (writtenPath) *writtenPath = target;
    return true;
}

bool ReaderState::ExtractWalk(ReaderEvents& events, std::int32_t single, const std::string& FolderPath,
                              const ExtractOptions& options) {
    if (!events.Zlib()) return false;  // the missing library is reported
    events.Status("Début d'extraction");
    if (EndRecordPosition == 0) {
        events.ZipError(ZipMessage::NoArchiveOpen);
        return false;
    }
    const std::string folder = WithoutTrailingSeparator(FolderPath);
    SafeFolder base;
    if ((!kuv::platform::IsFolder(folder) && !kuv::platform::CreateFolderPath(folder)) || !base.OpenBase(folder)) {
        events.ZipError(ZipMessage::CannotCreateFolder, folder);
        return false;
    }
    const Reread read = ReadAgain();
    if (read == Reread::EndRecordFailed) {
        events.Status("Extraction terminée");
        return false;
    }
    if (read == Reread::DirectoryFailed) {
        events.ZipError(ZipMessage::CorruptHeader, path);
        return false;
    }
    const std::vector<const CentralEntry*> entries = TableEntries();
    if (single == 0) {
        if (!ExtractEvery(events, entries, base, options)) return false;  // cancelled
        events.Status("Extraction terminée");
        return true;
    }
    const std::int32_t n = inFileCount;
    FolderCache cache;
    for (std::int32_t i = 1; i <= n && static_cast<std::size_t>(i) <= entries.size(); ++i) {
        if (single == 0 || single == i) {
            const bool ok = ExtractMember(events, *entries[i - 1], DirectoryTable[i - 1], base, cache, options);
            if (!ok && single != 0) return false;
        }
        if (single == 0) {
            if (events.ProgressExtract(PercentOf(i, static_cast<std::int32_t>(std::min<std::uint64_t>(bounds.count, INT32_MAX))))) return false;
        } else {
            events.ProgressExtract(100);
        }
        events.DoEvents();
    }
    events.Status("Extraction terminée");
    return true;
}

bool clsZip::ExtractAllFiles(const std::string& FolderPath, bool PreservePath, bool OverWrite, bool KeepModDate) {
    return reader_->ExtractWalk(*readerEvents_, 0, FolderPath, {PreservePath, OverWrite, KeepModDate, true});
}

bool clsZip::ExtractSingleFile(std::int32_t FileNumber, const std::string& FolderPath, bool PreservePath,
                               bool OverWrite, bool KeepModDate) {
    // A number below 1 matches no member, as a number past the count does.
    if (FileNumber < 1) FileNumber = -1;
    return reader_->ExtractWalk(*readerEvents_, FileNumber, FolderPath, {PreservePath, OverWrite, KeepModDate, true});
}

std::string clsZip::ExtractSgFileToTmp(std::int32_t lgNuFile) {
    ReaderState& r = *reader_;
    if (ZLibVersion().empty()) return {};
    if (r.EndRecordPosition == 0) {
        RaiseZipError(ZipMessage::NoArchiveOpen);
        return {};
    }
    // Never straight into the shared temporary folder: into the instance's
    // own private folder, where no stored name can meet a file of anyone else.
    if (r.privateFolder.empty()) r.privateFolder = MakePrivateFolder();
    SafeFolder base;
    if (r.privateFolder.empty() || !base.OpenBase(r.privateFolder)) return {};
    if (r.ReadAgain() != ReaderState::Reread::Ok) return {};
    const std::vector<const CentralEntry*> entries = r.TableEntries();
    if (lgNuFile < 1 || static_cast<std::size_t>(lgNuFile) > entries.size() ||
        static_cast<std::size_t>(lgNuFile) > r.DirectoryTable.size())
        return {};  // no member bears that number: nothing extracted
    std::string written;
    const ExtractOptions options{false, true, true, false};
    FolderCache cache;
    if (!r.ExtractMember(*readerEvents_, *entries[lgNuFile - 1], r.DirectoryTable[lgNuFile - 1], base, cache, options,
                         &written))
        return {};
    return written;
}

bool clsZip::TestAllFiles() {
    ReaderState& r = *reader_;
    if (ZLibVersion().empty()) return false;
    if (r.EndRecordPosition == 0) {
        RaiseZipError(ZipMessage::NoArchiveOpen);
        return false;
    }
    if (r.ReadAgain() != ReaderState::Reread::Ok) {
        RaiseZipError(ZipMessage::CorruptHeader, r.path);
        return false;
    }
    return r.TestAll(*readerEvents_);
}

namespace {

// Takes a step's events and forgets them: the members whose locating step
// fails are not submitted, and the sequential steps raise those errors
// again, in their place, when the member's turn comes.
class QuietEvents : public ReaderEvents {
public:
    explicit QuietEvents(ReaderEvents& target) : target_(target) {}
    bool ZipError(ZipMessage, const std::string&) override { return false; }
    void Status(const std::string&) override {}
    bool ProgressExtract(std::int32_t) override { return false; }
    void DoEvents() override {}
    const ZlibApi* Zlib() override { return target_.Zlib(); }

private:
    ReaderEvents& target_;
};

// Reads members 1 to count on every core and finishes them in that order on
// the caller's thread. started(threads) runs first with the number of
// workers (0: inline). prepare(i, data, onWorker, place) tells whether
// member i is submitted (data filled; onWorker, if set, runs on the worker
// once the member is sound, writing into the folder numbered place);
// finish(i, inflated) ends member i (inflated nullptr: not
// submitted) and returns true to cancel what remains. Returns: false when
// cancelled.
bool ReadInOrder(ReaderEvents& events, const ZlibApi& zlib, int fd, std::int32_t count, bool keepData,
                 const std::function<void(unsigned)>& started,
                 const std::function<bool(std::int32_t, MemberData&, WorkerFinisher&, std::uint64_t&, WholeOnWorker&)>& prepare,
                 const std::function<bool(std::int32_t, InflatedMember*)>& finish) {
    struct Pending {
        std::int32_t number = 0;
        bool submitted = false;
    };
    std::deque<Pending> pending;
    bool cancelled = false;
    std::unique_ptr<ParallelInflater> inflater;
    const auto end = [&](InflatedMember* inflated) {
        cancelled = finish(pending.front().number, inflated);
        pending.pop_front();
        if (cancelled && inflater) inflater->Cancel();
    };
    const auto endUnsubmitted = [&] {
        while (!cancelled && !pending.empty() && !pending.front().submitted) end(nullptr);
    };
    inflater = std::make_unique<ParallelInflater>(
        zlib, fd,
        [&](InflatedMember& m) {
            endUnsubmitted();
            if (cancelled || pending.empty()) return;
            end(&m);
            endUnsubmitted();
        },
        0, [&] { events.DoEvents(); });
    if (started) started(inflater->Threads());
    try {
        for (std::int32_t i = 1; i <= count && !cancelled; ++i) {
            MemberData data;
            WorkerFinisher onWorker;
            WholeOnWorker whole;
            std::uint64_t place = 0;
            pending.push_back({i, prepare(i, data, onWorker, place, whole)});
            if (pending.back().submitted)
                inflater->Submit(static_cast<std::size_t>(i), data, keepData, std::move(onWorker), place,
                                 std::move(whole));
            else endUnsubmitted();
        }
        inflater->Finish();
        endUnsubmitted();
    } catch (const std::bad_alloc&) {
        // No memory to queue one more member: the run stops as a cancelled
        // one does (what is in flight is dropped, nothing more is written)
        // and is never reported whole; no exception leaves the engine.
        cancelled = true;
        inflater->Cancel();
        inflater.reset();
    }
    return !cancelled;
}

}  // namespace

bool ReaderState::TestAll(ReaderEvents& events) {
    const ZlibApi* zlib = events.Zlib();
    if (!zlib) return false;
    const std::vector<const CentralEntry*> entries = TableEntries();
    const auto total = static_cast<std::int32_t>(entries.size());
    bool allSound = true;
    const bool finished = ReadInOrder(
        events, *zlib, fd.get(), total, false, {},
        [&](std::int32_t i, MemberData& data, WorkerFinisher&, std::uint64_t&, WholeOnWorker&) {
            QuietEvents quiet(events);
            return LocateMember(quiet, *entries[i - 1], entries[i - 1]->name, data);
        },
        [&](std::int32_t i, InflatedMember* checked) {
            const CentralEntry& e = *entries[i - 1];
            MemberData data;
            bool keep = false;
            if (!checked) {
                LocateMember(events, e, e.name, data);  // raises why it cannot be read
                allSound = false;
            } else if (!ReportInflate(events, checked->result, e, e.name, keep)) {
                allSound = false;
            }
            if (events.ProgressExtract(PercentOf(i, total))) return true;
            events.DoEvents();
            return false;
        });
    return allSound && finished;
}

bool ReaderState::ExtractEvery(ReaderEvents& events, const std::vector<const CentralEntry*>& entries,
                               const SafeFolder& base, const ExtractOptions& options) {
    const ZlibApi* zlib = events.Zlib();
    if (!zlib) return false;
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>({static_cast<std::size_t>(std::max(inFileCount, 0)), entries.size(), DirectoryTable.size()}));
    const auto progressTotal = static_cast<std::int32_t>(std::min<std::uint64_t>(bounds.count, INT32_MAX));
    FolderCache cache;
    // A sound member small enough to come back whole is written by its
    // worker and given its name here in directory order, with its events;
    // unless a member before it still in flight meets it in the target
    // folder (the same name, or a file where a folder is needed): the
    // caller's steps do those whole, in order.
    struct InFlight {
        PreparedName prepared;
        TargetPlace place;
    };
    std::deque<InFlight> inFlight;
    PlacesInFlight places;
    std::vector<FolderCache> workerCaches;
    std::vector<std::unique_ptr<InflateBuffers>> workerBuffers;
    return ReadInOrder(
        events, *zlib, fd.get(), count, true,
        [&](unsigned threads) {
            workerCaches.resize(std::max(1u, threads));
            workerBuffers.resize(std::max(1u, threads));
        },
        [&](std::int32_t i, MemberData& data, WorkerFinisher& onWorker, std::uint64_t& place, WholeOnWorker& whole) {
            // Folders and refused names have no data; the sequential steps
            // raise the errors of those that cannot be located.
            std::string name = entries[i - 1]->name;
            InFlight f{PrepareMemberName(name, options.preservePath), {}};
            f.place = PlaceOf(f.prepared);
            QuietEvents quiet(events);
            const bool submitted =
                !f.prepared.refused && !f.prepared.isFolder && LocateMember(quiet, *entries[i - 1], name, data);
            if (submitted && options.replaceColons && !places.Meets(f.place)) {
                WorkerWrite w{f.prepared, options.overWrite, false, 0};
                if (options.keepModDate) w.setTime = DirectoryTable[i - 1].ModifiedTime(w.modified);
                // The engine's own sliced members keep their path on the caller's thread.
                if (StreamInflater::Applies(data) && !SliceInflater::MayBeSliced(fd.get(), data)) {
                    whole = [&base, &workerCaches, &workerBuffers, zlib, w = std::move(w), fd = fd.get(),
                             data](unsigned worker) {
                        auto& buffers = workerBuffers[worker];
                        if (!buffers) buffers = std::make_unique<InflateBuffers>();
                        return InflateOnWorker(base, workerCaches[worker], *buffers, *zlib, w, fd, data);
                    };
                } else {
                    onWorker = [&base, &workerCaches, w = std::move(w)](unsigned worker,
                                                                       const std::vector<std::uint8_t>& bytes) {
                        return WriteOnWorker(base, workerCaches[worker], w, bytes);
                    };
                    place = FolderNumber(f.place);
                }
            }
            places.Add(f.place);
            inFlight.push_back(std::move(f));
            return submitted;
        },
        [&](std::int32_t i, InflatedMember* inflated) {
            const CentralEntry& e = *entries[i - 1];
            const InFlight f = std::move(inFlight.front());
            inFlight.pop_front();
            places.Remove(f.place);
            if (inflated && inflated->completion && inflated->completion()) {
                events.Status("Extraction ...\\" + ShownName(f.prepared));
            } else {
                const MemberSource source = [&](const std::string& target, const MemberSink& sink,
                                                const MemberRewind& rewind, bool& keepOnCrc) {
                    keepOnCrc = false;
                    if (!inflated || inflated->streamed)
                        return DecompressMember(events, e, target, sink, keepOnCrc, rewind);
                    InflateResult result = inflated->result;
                    if ((result == InflateResult::Ok || result == InflateResult::CrcMismatch) &&
                        !inflated->data.empty() && !sink(inflated->data.data(), inflated->data.size()))
                        result = InflateResult::SinkError;
                    std::vector<std::uint8_t>().swap(inflated->data);
                    return ReportInflate(events, result, e, target, keepOnCrc);
                };
                ExtractMember(events, e, DirectoryTable[i - 1], base, cache, options, nullptr, &source);
            }
            if (events.ProgressExtract(PercentOf(i, progressTotal))) return true;
            events.DoEvents();
            return false;
        });
}

bool clsZip::LoadZippedFile(const std::string& strFilePath) {
    return LoadZippedFile(strFilePath,
                          [](const std::string& path) { return kuv::platform::StartDetached("xdg-open", {path}); });
}

bool clsZip::LoadZippedFile(const std::string& strFilePath, const FileStarter& start) {
    // The desktop's associated application for the file's type; none means
    // there is no program to open it with.
    std::string type, application;
    const bool known =
        kuv::platform::RunAndCapture("xdg-mime", {"query", "filetype", strFilePath}, type) &&
        !AnswerLine(type).empty() &&
        kuv::platform::RunAndCapture("xdg-mime", {"query", "default", AnswerLine(type)}, application) &&
        AnswerLine(application).size() > 4;
    if (!known || !start(strFilePath)) {
        RaiseZipError(ZipMessage::NoProgram);
        return false;
    }
    reader_->OpenedTempFiles.push_back(strFilePath);
    return false;
}
