// Fuzz target: files of any names and contents written into an archive (the
// member list and WriteZip, or the streaming pass) and read back. Every file
// the engine accepted comes back: one member each, in order, under distinct
// names that are UTF-8 (the file's own name, or its full path, when that is
// UTF-8), testing clean, extracting to a file of the
// same bytes under that name (":" read as "_"). A file the engine did not take was refused through FileZipErr. An
// archive written with no member at all opens too.
//
// The stored names are checked in the archive's own bytes too, as other
// tools read them: bit 11 only over valid UTF-8; a name written through the
// OEM table holds no byte below 0x20 and, when not ASCII, carries a Unicode
// Path field (local and central) with the CRC of its stored bytes and the
// file's UTF-8 name; an ASCII name carries no extra field.
//
// Input: one byte of settings (bit 0: streaming pass; bit 1: names are
// paths, "/" between folders, added with their full path; the
// rest: the compression level), then up to eight files, each a name length
// byte, the name bytes (NUL read as "_", "/" too unless names are paths), a
// 16-bit little-endian content length and the content.
#include <fcntl.h>

#include "FuzzSupport.h"

using namespace fuzzsupport;

namespace {

struct Source {
    std::string memberName;  // the name it must come back under ("\\" between folders)
    fs::path path;
    Bytes content;
};

// The parts of a name from the input: one part, or with paths the parts
// between "/" ("." and ".." read as "_", empty parts dropped).
std::vector<std::string> NameParts(std::string raw, bool paths) {
    for (char& c : raw)
        if (c == '\0' || (!paths && c == '/')) c = '_';
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t cut; from <= raw.size(); from = cut + 1) {
        cut = raw.find('/', from);
        if (cut == std::string::npos) cut = raw.size();
        std::string part = raw.substr(from, cut - from);
        if (part == "." || part == "..") part = "_";
        if (!part.empty()) parts.push_back(part);
    }
    if (parts.empty()) parts.push_back("vide");
    return parts;
}

// Creates the file; false when that name cannot be a file here (".", a name
// already taken, one too long).
bool CreateSource(const fs::path& path, const Bytes& content) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    close(fd);
    if (!ok) Fail("cannot write " + path.string());
    return true;
}

// Where extraction puts a member of that name, under the target folder:
// ":" read as "_", "\\" as "/", no leading separator.
std::string AsPath(std::string s) {
    std::replace(s.begin(), s.end(), ':', '_');
    std::replace(s.begin(), s.end(), '\\', '/');
    return s.substr(std::min(s.find_first_not_of('/'), s.size()));
}

std::string Backslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

std::uint16_t U16At(const Bytes& b, std::size_t at) {
    if (at + 2 > b.size()) Fail("record past the archive's end");
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8);
}

std::uint32_t U32At(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(U16At(b, at)) | static_cast<std::uint32_t>(U16At(b, at + 2)) << 16;
}

std::uint32_t Crc32(const Bytes& b) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char ch : b) {
        c ^= ch;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

// The UTF-8 name of a Unicode Path field in extra, checked against stored.
std::string UnicodePath(const Bytes& extra, const Bytes& stored, const std::string& where) {
    for (std::size_t p = 0; p + 4 <= extra.size();) {
        const std::uint16_t id = U16At(extra, p), length = U16At(extra, p + 2);
        FUZZ_CHECK(p + 4 + length <= extra.size(), where + ": extra field runs past its length");
        if (id == 0x7075) {
            FUZZ_CHECK(length >= 5 && extra[p + 4] == 1, where + ": Unicode Path field of another version");
            FUZZ_CHECK(U32At(extra, p + 5) == Crc32(stored), where + ": Unicode Path field for other bytes");
            return extra.substr(p + 9, length - 5);
        }
        p += 4 + length;
    }
    Fail(where + ": a name through the OEM table that is not ASCII has no Unicode Path field");
}

// The rules above for every central entry and its local header.
void CheckStoredNames(const Bytes& a, const std::vector<std::string>& names) {
    FUZZ_CHECK(a.size() >= 22 && U32At(a, a.size() - 22) == 0x06054b50, "no end record at the archive's end");
    const std::uint16_t count = U16At(a, a.size() - 22 + 10);
    std::size_t at = U32At(a, a.size() - 22 + 16);
    FUZZ_CHECK(count == names.size(), "the end record counts " + std::to_string(count) + " members");
    for (std::size_t i = 0; i < count; ++i) {
        FUZZ_CHECK(U32At(a, at) == 0x02014b50, "no central header where the directory says");
        const std::uint16_t flags = U16At(a, at + 8);
        const std::uint16_t nameLength = U16At(a, at + 28), extraLength = U16At(a, at + 30);
        const std::uint16_t commentLength = U16At(a, at + 32);
        const std::uint32_t local = U32At(a, at + 42);
        FUZZ_CHECK(at + 46 + nameLength + extraLength <= a.size(), "central header past the end");
        const Bytes stored = a.substr(at + 46, nameLength), extra = a.substr(at + 46 + nameLength, extraLength);
        FUZZ_CHECK(U32At(a, local) == 0x04034b50 && U16At(a, local + 26) == nameLength &&
                       a.substr(local + 30, nameLength) == stored,
                   "the local header does not hold the central name");
        const Bytes localExtra = a.substr(local + 30 + nameLength, U16At(a, local + 28));
        const std::string where = "member " + names[i];
        const bool ascii = std::all_of(stored.begin(), stored.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        if (flags & 0x0800) {
            FUZZ_CHECK(IsStrictUtf8(stored), where + ": bit 11 over bytes that are not UTF-8");
        } else {
            for (unsigned char c : stored) FUZZ_CHECK(c >= 0x20, where + ": byte below 0x20 through the OEM table");
            if (ascii) {
                FUZZ_CHECK(extra.empty() && localExtra.empty(), where + ": an ASCII name with an extra field");
            } else {
                FUZZ_CHECK(Backslashes(UnicodePath(extra, stored, where)) == names[i],
                           where + ": central Unicode Path name");
                FUZZ_CHECK(Backslashes(UnicodePath(localExtra, stored, where)) == names[i],
                           where + ": local Unicode Path name");
            }
        }
        at += 46 + nameLength + extraLength + commentLength;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputCursor in(data, size);
    const std::uint8_t settings = in.U8();
    const bool streaming = settings & 1;
    const bool paths = settings & 2;
    const std::int32_t level = (settings >> 2) % 11 - 1;  // -1 (zlib's default) to 9
    const std::int16_t pathChoice = paths ? 1 : 0;        // the full path, or the name only

    ClearEngineFolders();
    const fs::path work = Fresh("roundtrip");
    const fs::path folder = work / "src";
    fs::create_directories(folder);
    std::vector<Source> sources;
    for (int i = 0; i < 8 && !in.AtEnd(); ++i) {
        const std::vector<std::string> parts = NameParts(in.Take(in.U8()), paths);
        const Bytes content = in.Take(in.U16() % 16385);
        fs::path path = folder;
        for (const std::string& part : parts) path /= part;
        std::string memberName = paths ? path.string() : parts[0];
        std::replace(memberName.begin(), memberName.end(), '/', '\\');
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        if (!ec && CreateSource(path, content)) sources.push_back({memberName, path, content});
    }

    const fs::path archive = work / "archive.zip";
    clsZip zip;
    Recorder rec(zip);
    zip.SetLevelCompression(level);
    std::vector<const Source*> accepted;
    std::int32_t handle = streaming ? zip.CreateZip(archive.string(), true) : 0;
    FUZZ_CHECK(!streaming || handle > 0, "CreateZip failed: " + rec.First());
    for (const Source& s : sources) {
        rec.Clear();
        const std::int32_t added = streaming ? zip.ybFileAdd(s.path.string(), pathChoice, handle)
                                               : zip.FileAdd(s.path.string(), pathChoice);
        FUZZ_CHECK(added == 0 || added == 1, "one file added as " + std::to_string(added) + " members");
        if (added == 1) {
            accepted.push_back(&s);
        } else {
            bool reported = false;
            for (std::int32_t number : rec.FileErrorsFor(s.path.string())) reported |= number != 7;
            FUZZ_CHECK(reported, "the file " + s.memberName + " was left out without a FileZipErr");
        }
    }
    rec.Clear();
    FUZZ_CHECK(streaming ? zip.WriteEndZip(handle) : zip.WriteZip(archive.string(), true),
               "writing the archive failed: " + rec.First());

    // ---- reading back ----
    clsZip reader;
    Recorder readRec(reader);
    FUZZ_CHECK(reader.ZipOpen(archive.string()), "the archive just written does not open: " + readRec.First());
    FUZZ_CHECK(reader.inFileCount() == static_cast<std::int32_t>(accepted.size()),
               std::to_string(accepted.size()) + " files accepted, " + std::to_string(reader.inFileCount()) +
                   " members");
    FUZZ_CHECK(reader.TestAllFiles(), "the archive just written does not test clean: " + readRec.First());
    std::vector<std::string> names;
    for (std::size_t k = 0; k < accepted.size(); ++k) {
        const Source& s = *accepted[k];
        const auto number = static_cast<std::int32_t>(k + 1);
        const std::string name = reader.inFileName(number);
        FUZZ_CHECK(IsStrictUtf8(name), "member " + std::to_string(number) + " has a name that is not UTF-8");
        if (IsStrictUtf8(s.memberName))
            FUZZ_CHECK(name == s.memberName, "the file " + s.memberName + " came back as " + name);
        FUZZ_CHECK(std::find(names.begin(), names.end(), name) == names.end(),
                   "two accepted files became members of one name: " + name);
        names.push_back(name);
        FUZZ_CHECK(reader.FileUncompressedSize(number) == static_cast<std::int64_t>(s.content.size()),
                   "member " + name + " declares another size");

        const fs::path out = work / ("out" + std::to_string(number));
        readRec.Clear();
        FUZZ_CHECK(reader.ExtractSingleFile(number, out.string(), true, true, false),
                   "member " + name + " does not extract: " + readRec.First());
        const std::vector<Entry> files = RegularFiles(out);
        FUZZ_CHECK(files.size() == 1, "member " + name + " gave " + std::to_string(files.size()) + " files");
        FUZZ_CHECK(files[0].rel == AsPath(name), "member " + name + " was extracted as " + files[0].rel);
        FUZZ_CHECK(ReadFile(out / files[0].rel) == s.content, "member " + name + " gives other bytes");
    }
    CheckStoredNames(ReadFile(archive), names);
    CheckScratchHoldsOnly({"roundtrip"});
    return 0;
}
