// Fuzz target: any bytes given to the reader as an archive. Opening,
// listing, testing and extracting (all members, single members, members into
// the temporary folder) must keep these promises:
//  - a failed opening forgets the archive opened before it;
//  - names are UTF-8 with "\" between folders;
//  - nothing is written outside the target folder, no link is made, the
//    archive itself is not changed;
//  - extraction writes no more bytes than the directory declares, and a
//    member extracted without a failure has exactly its declared size;
//  - a failure is reported (a ZipError), an opened archive is extracted to
//    the end of its walk, a failed member leaves no file;
//  - no stored name becomes a file of the engine's own in the temporary folder.
#include "FuzzSupport.h"

using namespace fuzzsupport;

namespace {

fs::path g_reference;  // a small archive of the engine's own, opened before each input

void MakeReference() {
    const fs::path folder = Root() / "reference";
    fs::create_directories(folder);
    WriteFile(folder / "a.txt", "archive de r\xc3\xa9" "f\xc3\xa9rence");
    g_reference = folder / "reference.zip";
    clsZip zip;
    FUZZ_CHECK(zip.FileAdd((folder / "a.txt").string()) == 1, "reference member");
    zip.SetComment("commentaire");
    FUZZ_CHECK(zip.WriteZip(g_reference.string(), true), "reference archive");
}

// The regular files of folder, their total size.
std::uintmax_t BytesUnder(const fs::path& folder) {
    std::uintmax_t total = 0;
    for (const Entry& e : RegularFiles(folder)) total += e.size;
    return total;
}

bool Below(const fs::path& inner, const fs::path& outer) {
    const fs::path rel = fs::weakly_canonical(inner).lexically_relative(fs::weakly_canonical(outer));
    return !rel.empty() && *rel.begin() != "..";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Setup();
    MakeReference();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(reinterpret_cast<const char*>(data), size);
    const fs::path work = Fresh("read");
    const fs::path archive = work / "archive.zip";
    WriteFile(archive, input);
    const fs::path box = work / "box";
    fs::create_directories(box);
    const fs::path sentinel = box / "sentinelle.txt";
    const Bytes sentinelBytes = "ne pas toucher";
    WriteFile(sentinel, sentinelBytes);
    const fs::path out = box / "out";
    const fs::path single = box / "single";
    ClearEngineFolders();

    clsZip zip;
    Recorder rec(zip);
    FUZZ_CHECK(zip.ZipOpen(g_reference.string()) && zip.inFileCount() == 1, rec.First());

    // ---- opening ----
    rec.Clear();
    if (!zip.ZipOpen(archive.string())) {
        FUZZ_CHECK(!zip.ZipIsOpen(), "a failed opening left an archive open");
        FUZZ_CHECK(zip.inFileCount() == 0, "a failed opening still lists the previous archive's members");
        FUZZ_CHECK(zip.ZipComment().empty(), "a failed opening still gives the previous archive's comment");
        FUZZ_CHECK(!rec.zipErrors.empty(), "a failed opening raised no ZipError");
        FUZZ_CHECK(ReadFile(archive) == input, "opening changed the archive");
        return 0;
    }

    // ---- listing ----
    const std::int32_t n = zip.inFileCount();
    FUZZ_CHECK(n >= 0 && n <= 65535, "member count " + std::to_string(n));
    std::vector<std::uint64_t> declared;
    std::uintmax_t declaredTotal = 0;
    for (std::int32_t i = 1; i <= n; ++i) {
        const std::string name = zip.inFileName(i);
        FUZZ_CHECK(IsStrictUtf8(name), "member " + std::to_string(i) + " has a name that is not UTF-8");
        FUZZ_CHECK(name.find('/') == std::string::npos, "member name with '/': " + name);
        (void)zip.FileCompressedSize(i);
        declared.push_back(static_cast<std::uint64_t>(zip.FileUncompressedSize(i)));
        declaredTotal += declared.back();
        if (zip.FileDateAndTimeValid(i)) (void)zip.FileDateAndTime(i);
    }
    FUZZ_CHECK(IsStrictUtf8(zip.ZipComment()), "the comment is not UTF-8");

    // ---- test ----
    rec.Clear();
    if (!zip.TestAllFiles()) FUZZ_CHECK(!rec.zipErrors.empty(), "TestAllFiles failed without a ZipError");

    // ---- all members ----
    rec.Clear();
    FUZZ_CHECK(zip.ExtractAllFiles(out.string(), true, true, false),
               "ExtractAllFiles of an opened archive stopped: " + rec.First());
    const std::uintmax_t written = BytesUnder(out);
    FUZZ_CHECK(written <= declaredTotal, "extraction wrote " + std::to_string(written) +
                                             " bytes, the directory declares " + std::to_string(declaredTotal));
    FUZZ_CHECK(RegularFiles(out).size() <= static_cast<std::size_t>(n), "more files than members");

    // ---- again over them, without OverWrite: what exists stays as it is ----
    std::vector<std::pair<std::string, Bytes>> first;
    for (const Entry& e : RegularFiles(out)) first.emplace_back(e.rel, ReadFile(out / e.rel));
    rec.Clear();
    FUZZ_CHECK(zip.ExtractAllFiles(out.string(), true, false, true),
               "ExtractAllFiles over its own output stopped: " + rec.First());
    for (const auto& [rel, bytes] : first)
        FUZZ_CHECK(ReadFile(out / rel) == bytes, "extraction without OverWrite changed " + rel);

    // ---- single members, each into a folder of its own ----
    const std::int32_t singles = std::min<std::int32_t>(n, 8);
    for (std::int32_t i = 1; i <= singles; ++i) {
        const fs::path folder = single / std::to_string(i);
        rec.Clear();
        const bool ok = zip.ExtractSingleFile(i, folder.string(), i % 2 == 1, true, false);
        const std::vector<Entry> files = RegularFiles(folder);
        if (ok) {
            FUZZ_CHECK(files.size() <= 1, "one member gave several files");
            if (!files.empty())
                FUZZ_CHECK(files[0].size == declared[i - 1],
                           "member " + std::to_string(i) + " extracted without a failure as " +
                               std::to_string(files[0].size) + " bytes, declared " +
                               std::to_string(declared[i - 1]));
        } else {
            FUZZ_CHECK(files.empty(), "a failed member left a file: " + files[0].rel);
            FUZZ_CHECK(!rec.zipErrors.empty(), "ExtractSingleFile failed without a ZipError");
        }
    }

    // ---- nothing outside the target folders ----
    for (const Entry& e : Walk(box)) {
        FUZZ_CHECK(e.type != fs::file_type::symlink, "a link was made: " + e.rel);
        const std::string top = *fs::path(e.rel).begin();
        FUZZ_CHECK(top == "out" || top == "single" || top == "sentinelle.txt", "written outside: " + e.rel);
        if (top == "single" && e.rel != "single") {
            // single/<i>/... only
            const fs::path rel(e.rel);
            FUZZ_CHECK(std::distance(rel.begin(), rel.end()) >= 2, "written outside: " + e.rel);
        }
    }
    for (const fs::directory_entry& e : fs::directory_iterator(work))
        FUZZ_CHECK(e.path() == archive || e.path() == box, "written outside: " + e.path().string());
    CheckScratchHoldsOnly({"read", "reference"});
    FUZZ_CHECK(ReadFile(sentinel) == sentinelBytes, "the file beside the target folder changed");
    FUZZ_CHECK(ReadFile(archive) == input, "extraction changed the archive");
    FUZZ_CHECK(Walk(TmpFolder()).empty(), "extraction into a folder left files in the temporary folder");

    // ---- members into the temporary folder ----
    std::vector<std::int32_t> toTmp;
    if (n >= 1) toTmp.push_back(1);
    if (n >= 2) toTmp.push_back(n);
    for (std::int32_t k : toTmp) {
        rec.Clear();
        const std::string path = zip.ExtractSgFileToTmp(k);
        if (path.empty()) continue;
        FUZZ_CHECK(Below(path, TmpFolder()), "member " + std::to_string(k) + " went outside the temporary folder: " + path);
        FUZZ_CHECK(fs::is_regular_file(fs::symlink_status(path)), "not a regular file: " + path);
        FUZZ_CHECK(fs::file_size(path) == declared[k - 1], "member extracted into the temporary folder as " +
                                                               std::to_string(fs::file_size(path)) + " bytes");
    }
    for (const Entry& e : Walk(TmpFolder()))
        FUZZ_CHECK(e.type == fs::file_type::regular || e.type == fs::file_type::directory,
                   "odd entry in the temporary folder: " + e.rel);
    // The deletion script's places: a stored name must never become it.
    FUZZ_CHECK(!fs::exists(fs::symlink_status(TmpFolder() / "destrucFic.sh")),
               "a member became the temporary folder's destrucFic.sh");
    FUZZ_CHECK(RegularFiles(HomeFolder()).empty(), "a member reached the user's folders");
    return 0;
}
