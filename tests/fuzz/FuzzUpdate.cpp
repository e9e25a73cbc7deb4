// Fuzz target: the in-place update (FileAddIntoZip, FileRemoveFromZip) of any
// bytes taken as an archive. After it the archive is either unchanged byte
// for byte (the update failed) or a valid archive (the update succeeded):
// it opens, it tests clean when it tested clean before, it holds the members
// it held less the one removed or replaced, and an added member extracts to
// the added file's bytes. Nothing but the archive changes in its folder (a
// user's file named like the work file included), and no work file is left.
//
// Input: one byte of operation (0 remove, 1 add, 2 add replacing a member of
// the same name), one byte choosing the name, a 16-bit little-endian length
// and that many bytes of the added file's content, then the archive.
#include "FuzzSupport.h"

using namespace fuzzsupport;

namespace {

struct Listing {
    bool opened = false;
    bool sound = false;
    std::vector<std::string> names;
};

Listing ListArchive(const fs::path& archive) {
    Listing l;
    clsZip zip;
    Recorder rec(zip);
    l.opened = zip.ZipOpen(archive.string());
    if (!l.opened) return l;
    for (std::int32_t i = 1; i <= zip.inFileCount(); ++i) l.names.push_back(zip.inFileName(i));
    l.sound = zip.TestAllFiles();
    return l;
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string AsciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// True when after is before with at most one name taken out; an ASCII name
// taken out must be name without regard to case.
bool LessAtMostOne(const std::vector<std::string>& before, const std::vector<std::string>& after,
                   const std::string& name) {
    if (after == before) return true;
    if (after.size() + 1 != before.size()) return false;
    std::size_t i = 0;
    while (i < after.size() && after[i] == before[i]) ++i;
    if (!std::equal(after.begin() + static_cast<std::ptrdiff_t>(i), after.end(),
                    before.begin() + static_cast<std::ptrdiff_t>(i) + 1))
        return false;
    const std::string& gone = before[i];
    return !(IsAscii(gone) && IsAscii(name)) || AsciiLower(gone) == AsciiLower(name);
}

// A file name made from a member's name: its last part, printable ASCII
// only, without the characters the add reads as wildcards or separators.
std::string FileNameFrom(const std::string& member) {
    const std::size_t cut = member.find_last_of("\\/");
    std::string out;
    for (char c : cut == std::string::npos ? member : member.substr(cut + 1))
        if (c >= 0x20 && c < 0x7F && c != '/' && c != '\\' && c != ':' && c != '*' && c != '?') out += c;
    if (out.empty() || out == "." || out == "..") out = "membre.txt";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputCursor in(data, size);
    const int operation = in.U8() % 3;
    const std::uint8_t choice = in.U8();
    const Bytes content = in.Take(in.U16() % 4097);
    const Bytes before = in.Rest();

    ClearEngineFolders();
    const fs::path work = Fresh("update");
    const fs::path folder = work / "arch";
    const fs::path sources = work / "src";
    fs::create_directories(folder);
    fs::create_directories(sources);
    const fs::path archive = folder / "archive.zip";
    WriteFile(archive, before);
    // A user's own file that happens to bear the archive's name and a "~".
    const fs::path userFile = folder / "archive.zip~";
    const Bytes userBytes = "fichier de l'utilisateur";
    WriteFile(userFile, userBytes);

    const Listing old = ListArchive(archive);
    const std::size_t n = old.names.size();
    const std::string picked = n > 0 ? old.names[choice % n] : std::string("absent.txt");

    clsZip zip;
    Recorder rec(zip);
    bool result = false;
    std::string name;  // the member removed, or the added file's name
    if (operation == 0) {
        name = picked;
        std::string given = name;
        if (choice & 0x80) std::replace(given.begin(), given.end(), '\\', '/');
        result = zip.FileRemoveFromZip(archive.string(), given);
    } else {
        static const char* const kNames[] = {"nouveau.txt", "caf\xc3\xa9.txt", "a b.txt", "DOC.TXT"};
        name = (choice & 0x80) && n > 0 ? FileNameFrom(picked) : kNames[choice % 4];
        const fs::path source = sources / name;
        WriteFile(source, content);
        std::int32_t pathChoice = 0;
        result = zip.FileAddIntoZip(archive.string(), source.string(), pathChoice, false, operation == 2);
    }

    // The archive after: unchanged, or a valid archive. Checked first, so
    // that each fault shows as itself.
    const auto checkArchive = [&] {
        const Bytes after = ReadFile(archive);
        if (!result) {
            FUZZ_CHECK(after == before, "a failed update changed the archive (" + rec.First() + ")");
            return;
        }
        FUZZ_CHECK(after != before, "an update reported done left the archive as it was");

        // ---- a successful update gives a valid archive ----
        const Listing now = ListArchive(archive);
        FUZZ_CHECK(now.opened, "the updated archive does not open");
        if (old.sound) FUZZ_CHECK(now.sound, "the archive tested clean before the update, not after");
        if (operation == 0) {
            FUZZ_CHECK(old.opened, "a member was removed from an archive that does not open");
            FUZZ_CHECK(LessAtMostOne(old.names, now.names, name), "the members after removing " + name +
                                                                      " are not those before less that one");
            return;
        }
        FUZZ_CHECK(!now.names.empty() && now.names.back() == name,
                   "the added member is not last under its name: " + name);
        if (old.opened) {
            const std::vector<std::string> kept(now.names.begin(), now.names.end() - 1);
            if (operation == 1) FUZZ_CHECK(kept == old.names, "adding changed the other members");
            else FUZZ_CHECK(LessAtMostOne(old.names, kept, name), "replacing changed the other members");
        }
        clsZip check;
        Recorder checkRec(check);
        const fs::path out = work / "out";
        FUZZ_CHECK(check.ZipOpen(archive.string()) &&
                       check.ExtractSingleFile(check.inFileCount(), out.string(), false, true, false),
                   "the added member does not extract: " + checkRec.First());
        FUZZ_CHECK(ReadFile(out / name) == content, "the added member does not give the added file's bytes");
    };
    checkArchive();

    // ---- the folder: the archive, the user's file, nothing else ----
    FUZZ_CHECK(ReadFile(userFile) == userBytes, "the user's archive.zip~ was changed or removed");
    for (const Entry& e : Walk(folder))
        FUZZ_CHECK(e.rel == "archive.zip" || e.rel == "archive.zip~", "left in the archive's folder: " + e.rel);
    CheckScratchHoldsOnly({"update"});
    return 0;
}
