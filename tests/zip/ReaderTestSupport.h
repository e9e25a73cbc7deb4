#pragma once
// Test helpers of the reading side: archives written byte by byte with the
// engine's record layouts (so that any field can be made wrong), scratch
// folders, file snapshots and an event recorder.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "zip/ZipNames.h"
#include "zip/ZipRecords.h"
#include "zip/clsZip.h"

namespace readertest {

using Bytes = std::string;

// Whether a peer tool (zip, unzip, 7z, bsdtar) is installed.
inline bool Have(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly. Returns: its status.
inline int Shell(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()); }

// Raw deflate at level with memLevel (the engine's own writer uses 9).
inline Bytes RawDeflate(const Bytes& data, int level = 6, int memLevel = 8) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, memLevel, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&zs, data.size()) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

inline std::uint32_t Crc(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

// One member as it will be written; every header field can be set.
struct RawMember {
    Bytes name;                // stored name bytes
    Bytes content;             // uncompressed content
    std::uint16_t method = 8;  // 0 stored, 8 deflate, others as given (data stored)
    std::uint16_t flags = 0;
    std::uint16_t dosDate = 0x5798;  // 24 Dec 2023
    std::uint16_t dosTime = 0x7260;  // 14:19:00
    std::uint16_t internalAttributes = 0x0020;
    std::uint32_t externalAttributes = 0;
    std::uint16_t versionMadeBy = 20;
    Bytes extra;                 // central and local extra field
    bool dataDescriptor = false; // bit 3: zeros in the local header, descriptor after the data
    // Overrides applied to the central entry after it is built.
    std::int64_t centralCrc = -1, centralCompressed = -1, centralUncompressed = -1, localOffset = -1;
    std::int64_t centralNameLength = -1, centralExtraLength = -1;
    // Overrides of the local header (and of the data descriptor).
    std::int64_t localCrc = -1, localCompressed = -1, localUncompressed = -1, localMethod = -1, localFlags = -1;
    Bytes localName;            // empty: the name
    Bytes localExtra;           // with hasLocalExtra: the local header's own extra field
    bool hasLocalExtra = false;
    std::int64_t localExtraLength = -1;  // the local length field alone (the bytes unchanged)
    std::int64_t descriptorCrc = -1;
    bool descriptorSignature = true;  // the descriptor starts with its signature
};

struct RawArchive {
    std::vector<RawMember> members;
    Bytes comment;
    Bytes prefix;  // bytes before the first member
    // Overrides of the end record.
    std::int64_t entries = -1, directorySize = -1, directoryOffset = -1;

    Bytes Build() const {
        Bytes out = prefix;
        std::vector<std::uint32_t> offsets;
        std::vector<Bytes> datas;
        for (const RawMember& m : members) {
            offsets.push_back(static_cast<std::uint32_t>(out.size()));
            const Bytes data = m.method == 8 ? RawDeflate(m.content) : m.content;
            kuv::zip::ZipLocalStart ls;
            kuv::zip::ZipHeaderCommon c;
            c.flags = static_cast<std::uint16_t>(m.flags | (m.dataDescriptor ? 0x0008 : 0));
            c.method = m.method;
            c.dosTime = m.dosTime;
            c.dosDate = m.dosDate;
            c.crc32 = m.dataDescriptor ? 0 : Crc(m.content);
            c.compressedSize = m.dataDescriptor ? 0 : static_cast<std::uint32_t>(data.size());
            c.uncompressedSize = m.dataDescriptor ? 0 : static_cast<std::uint32_t>(m.content.size());
            if (m.localCrc >= 0) c.crc32 = static_cast<std::uint32_t>(m.localCrc);
            if (m.localCompressed >= 0) c.compressedSize = static_cast<std::uint32_t>(m.localCompressed);
            if (m.localUncompressed >= 0) c.uncompressedSize = static_cast<std::uint32_t>(m.localUncompressed);
            if (m.localMethod >= 0) c.method = static_cast<std::uint16_t>(m.localMethod);
            if (m.localFlags >= 0) c.flags = static_cast<std::uint16_t>(m.localFlags);
            const Bytes localName = m.localName.empty() ? m.name : m.localName;
            const Bytes localExtra = m.hasLocalExtra ? m.localExtra : m.extra;
            c.nameLength = static_cast<std::uint16_t>(localName.size());
            c.extraLength = static_cast<std::uint16_t>(m.localExtraLength >= 0 ? m.localExtraLength
                                                                                : static_cast<std::int64_t>(localExtra.size()));
            std::uint8_t h[30];
            ls.Encode(h);
            c.Encode(h + 6);
            out.append(reinterpret_cast<char*>(h), 30);
            out += localName + localExtra + data;
            if (m.dataDescriptor) {
                std::uint8_t d[16];
                kuv::zip::PutU32(d, 0x08074b50);
                kuv::zip::PutU32(d + 4, m.descriptorCrc >= 0 ? static_cast<std::uint32_t>(m.descriptorCrc)
                                                             : Crc(m.content));
                kuv::zip::PutU32(d + 8, static_cast<std::uint32_t>(data.size()));
                kuv::zip::PutU32(d + 12, static_cast<std::uint32_t>(m.content.size()));
                if (m.descriptorSignature) out.append(reinterpret_cast<char*>(d), 16);
                else out.append(reinterpret_cast<char*>(d) + 4, 12);
            }
            datas.push_back(data);
        }
        const std::uint32_t cdStart = static_cast<std::uint32_t>(out.size());
        for (size_t i = 0; i < members.size(); ++i) {
            const RawMember& m = members[i];
            kuv::zip::ZipCentralStart cs;
            cs.versionMadeBy = m.versionMadeBy;
            kuv::zip::ZipHeaderCommon c;
            c.flags = static_cast<std::uint16_t>(m.flags | (m.dataDescriptor ? 0x0008 : 0));
            c.method = m.method;
            c.dosTime = m.dosTime;
            c.dosDate = m.dosDate;
            c.crc32 = m.centralCrc >= 0 ? static_cast<std::uint32_t>(m.centralCrc) : Crc(m.content);
            c.compressedSize = m.centralCompressed >= 0 ? static_cast<std::uint32_t>(m.centralCompressed)
                                                        : static_cast<std::uint32_t>(datas[i].size());
            c.uncompressedSize = m.centralUncompressed >= 0 ? static_cast<std::uint32_t>(m.centralUncompressed)
                                                            : static_cast<std::uint32_t>(m.content.size());
            c.nameLength = static_cast<std::uint16_t>(m.centralNameLength >= 0 ? m.centralNameLength : m.name.size());
            c.extraLength =
                static_cast<std::uint16_t>(m.centralExtraLength >= 0 ? m.centralExtraLength : m.extra.size());
            kuv::zip::ZipCentralTail t;
            t.internalAttributes = m.internalAttributes;
            t.externalAttributes = m.externalAttributes;
            t.LocalHeaderOffset = m.localOffset >= 0 ? static_cast<std::uint32_t>(m.localOffset) : offsets[i];
            std::uint8_t h[46];
            cs.Encode(h);
            c.Encode(h + 8);
            t.Encode(h + 32);
            out.append(reinterpret_cast<char*>(h), 46);
            out += m.name + m.extra;
        }
        const std::uint32_t cdSize = static_cast<std::uint32_t>(out.size()) - cdStart;
        kuv::zip::ZipEndRecord e;
        e.entriesOnThisDisk = e.entriesTotal =
            static_cast<std::uint16_t>(entries >= 0 ? entries : static_cast<std::int64_t>(members.size()));
        e.centralDirectorySize = directorySize >= 0 ? static_cast<std::uint32_t>(directorySize) : cdSize;
        e.centralDirectoryOffset = directoryOffset >= 0 ? static_cast<std::uint32_t>(directoryOffset) : cdStart;
        e.commentLength = static_cast<std::uint16_t>(comment.size());
        std::uint8_t h[22];
        e.Encode(h);
        out.append(reinterpret_cast<char*>(h), 22);
        out += comment;
        return out;
    }
};

// The archive's classic end record (without comment) replaced by a Zip64 end
// record, its locator and a classic end record whose values are all the
// Zip64 markers (disk numbers included) when allMarkers, its own otherwise.
inline Bytes WithZip64End(const Bytes& archive, bool allMarkers = true) {
    const std::size_t endAt = archive.size() - kuv::zip::ZipEndRecord::kSize;
    const auto classic = kuv::zip::ZipEndRecord::Decode(reinterpret_cast<const std::uint8_t*>(archive.data() + endAt));
    Bytes out = archive.substr(0, endAt);
    kuv::zip::Zip64EndRecord z;
    z.entriesOnThisDisk = z.entriesTotal = classic.entriesTotal;
    z.centralDirectorySize = classic.centralDirectorySize;
    z.centralDirectoryOffset = classic.centralDirectoryOffset;
    kuv::zip::Zip64Locator l;
    l.zip64EndOffset = out.size();
    kuv::zip::ZipEndRecord e = classic;
    if (allMarkers) {
        e.thisDisk = e.centralDirectoryDisk = e.entriesOnThisDisk = e.entriesTotal = 0xFFFF;
        e.centralDirectorySize = e.centralDirectoryOffset = 0xFFFFFFFF;
    }
    std::uint8_t raw[kuv::zip::Zip64EndRecord::kSize];
    z.Encode(raw);
    out.append(reinterpret_cast<char*>(raw), kuv::zip::Zip64EndRecord::kSize);
    l.Encode(raw);
    out.append(reinterpret_cast<char*>(raw), kuv::zip::Zip64Locator::kSize);
    e.Encode(raw);
    out.append(reinterpret_cast<char*>(raw), kuv::zip::ZipEndRecord::kSize);
    return out;
}

inline RawMember Member(const Bytes& name, const Bytes& content, std::uint16_t method = 8) {
    RawMember m;
    m.name = name;
    m.content = content;
    m.method = method;
    return m;
}

using ScratchFolder = kuvtest::ScratchFolder;
using Scratch = kuvtest::ScratchFolder;

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Every entry under a folder (relative path -> kind and content), links not followed.
inline std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& rel = "") {
    std::map<std::string, std::string> out;
    const std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        const std::string r = rel.empty() ? n : rel + "/" + n;
        const std::string full = root + "/" + r;
        struct stat st {};
        lstat(full.c_str(), &st);
        if (S_ISDIR(st.st_mode)) {
            out[r] = "<dir>";
            for (auto& kv : Snapshot(root, r)) out.insert(kv);
        } else if (S_ISLNK(st.st_mode)) {
            char buf[4096];
            const ssize_t k = readlink(full.c_str(), buf, sizeof buf);
            out[r] = "<link>" + std::string(buf, k > 0 ? static_cast<size_t>(k) : 0);
        } else {
            out[r] = ReadFile(full);
        }
    }
    closedir(d);
    return out;
}

// Records the events of an engine instance.
struct Recorder {
    std::vector<std::string> status;
    std::vector<std::pair<int, std::string>> errors;
    std::vector<std::pair<int, std::string>> fileErrors;
    std::vector<int> loadPercents, extractPercents;
    bool cancelOnCrc = false;
    int cancelLoadAt = -1, cancelExtractAt = -1;

    clsZip* zip_;
    // The engine raises events while it ends ("Zip fermé"): the recorder
    // unsubscribes first when it goes before the engine.
    ~Recorder() { zip_->Events = clsZipEvents{}; }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    explicit Recorder(clsZip& zip) : zip_(&zip) {
        zip.Events.Status = [this](const std::string& t) { status.push_back(t); };
        zip.Events.ZipError = [this](std::int32_t n, const std::string& d, bool& cancel) {
            errors.emplace_back(n, d);
            if (n == 5 && cancelOnCrc) cancel = true;
        };
        zip.Events.FileZipErr = [this](std::string& p, std::int32_t& n, std::string& d) {
            fileErrors.emplace_back(n, d + " [" + p + "]");
        };
        zip.Events.ProgressLoad = [this](std::int32_t p, bool& cancel) {
            loadPercents.push_back(p);
            if (p == cancelLoadAt) cancel = true;
        };
        zip.Events.ProgressExtract = [this](std::int32_t p, bool& cancel) {
            extractPercents.push_back(p);
            if (cancelExtractAt >= 0 && p >= cancelExtractAt) cancel = true;
        };
    }
    std::vector<int> ErrorNumbers() const {
        std::vector<int> out;
        for (auto& e : errors) out.push_back(e.first);
        return out;
    }
    bool HasError(int n) const {
        for (auto& e : errors)
            if (e.first == n) return true;
        return false;
    }
};

}  // namespace readertest
