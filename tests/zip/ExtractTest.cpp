// Extraction of members into a folder, into the temporary folder, and the
// archive test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "ReaderTestSupport.h"
#include "platform/Files.h"
#include "zip/DeferredDeletion.h"
#include "zip/SafeMemberPath.h"

using namespace readertest;

namespace {

struct Opened {
    Scratch s;
    clsZip zip;
    Recorder rec{zip};
    std::string archive;
    explicit Opened(const RawArchive& a) {
        archive = s / "a.zip";
        WriteFile(archive, a.Build());
        EXPECT_TRUE(zip.ZipOpen(archive));
        rec.status.clear();
    }
};

RawArchive ThreeMembers() {
    RawArchive a;
    a.members.push_back(Member("docs\\2023\\note.txt", "note de 2023"));
    a.members.push_back(Member("a:b.txt", "deux points", 0));
    a.members.push_back(Member("vide.txt", "", 0));
    return a;
}

}  // namespace

TEST(Extract, AllMembersFlatAndWithPaths) {
    Opened o(ThreeMembers());
    Scratch flat, deep;
    ASSERT_TRUE(o.zip.ExtractAllFiles(flat.path() + "/", false, false, false));
    EXPECT_EQ(Snapshot(flat.path()), (std::map<std::string, std::string>{
                                         {"note.txt", "note de 2023"}, {"a_b.txt", "deux points"}, {"vide.txt", ""}}));
    EXPECT_EQ(o.rec.status.front(), "Début d'extraction");
    EXPECT_EQ(o.rec.status[1], "Extraction ...\\note.txt");
    EXPECT_EQ(o.rec.status.back(), "Extraction terminée");
    EXPECT_EQ(o.rec.extractPercents, (std::vector<int>{33, 67, 100}));

    ASSERT_TRUE(o.zip.ExtractAllFiles(deep.path(), true, false, false));
    EXPECT_EQ(Snapshot(deep.path()), (std::map<std::string, std::string>{{"docs", "<dir>"},
                                                                          {"docs/2023", "<dir>"},
                                                                          {"docs/2023/note.txt", "note de 2023"},
                                                                          {"a_b.txt", "deux points"},
                                                                          {"vide.txt", ""}}));
    EXPECT_TRUE(o.rec.errors.empty());
    // Extraction leaves the archive open and the table as it was.
    EXPECT_TRUE(o.zip.ZipIsOpen());
    EXPECT_EQ(o.zip.inFileCount(), 3);
}

TEST(Extract, TargetFolderIsCreated) {
    Opened o(ThreeMembers());
    Scratch t;
    ASSERT_TRUE(o.zip.ExtractAllFiles(t / "new/sub", false, false, false));
    EXPECT_EQ(ReadFile(t / "new/sub/note.txt"), "note de 2023");
    WriteFile(t / "plain", "x");
    EXPECT_FALSE(o.zip.ExtractAllFiles(t / "plain/under", false, false, false));
    EXPECT_EQ(o.rec.errors.back(), std::make_pair(13, "Impossible de créer le répertoire " + t / "plain/under"));
}

TEST(Extract, OverWriteRefusalsAndReplacement) {
    Opened o(ThreeMembers());
    Scratch t;
    WriteFile(t / "note.txt", "ancienne note");
    ASSERT_TRUE(o.zip.ExtractAllFiles(t.path(), false, false, false));
    EXPECT_EQ(o.rec.ErrorNumbers(), std::vector<int>{11});
    EXPECT_EQ(o.rec.errors[0].second, "Le fichier " + t / "note.txt" + " existe déjà");
    EXPECT_EQ(ReadFile(t / "note.txt"), "ancienne note");
    EXPECT_EQ(ReadFile(t / "a_b.txt"), "deux points");

    o.rec.errors.clear();
    EXPECT_FALSE(o.zip.ExtractSingleFile(1, t.path(), false, false, false));
    EXPECT_NE(o.rec.status.back(), "Extraction terminée");
    ASSERT_TRUE(o.zip.ExtractSingleFile(1, t.path(), false, true, false));
    EXPECT_EQ(ReadFile(t / "note.txt"), "note de 2023");

    // A folder where the file should go cannot be replaced.
    mkdir((t / "vide.txt.d").c_str(), 0777);
    RawArchive a;
    a.members.push_back(Member("vide.txt.d", "x"));
    Opened p(a);
    EXPECT_FALSE(p.zip.ExtractSingleFile(1, t.path(), false, true, false));
    EXPECT_EQ(p.rec.ErrorNumbers(), std::vector<int>{12});
    // No temporary file is left behind.
    for (const auto& kv : Snapshot(t.path())) EXPECT_EQ(kv.first.find(".kuvzip-"), std::string::npos) << kv.first;
}

TEST(Extract, SingleMemberNumbers) {
    Opened o(ThreeMembers());
    Scratch t;
    ASSERT_TRUE(o.zip.ExtractSingleFile(2, t.path(), false, false, false));
    EXPECT_EQ(Snapshot(t.path()), (std::map<std::string, std::string>{{"a_b.txt", "deux points"}}));
    EXPECT_EQ(o.rec.extractPercents, (std::vector<int>{100, 100, 100}));
    for (int n : {4, 0, -3}) {
        o.rec.status.clear();
        EXPECT_TRUE(o.zip.ExtractSingleFile(n, t.path(), false, false, false));
        EXPECT_EQ(o.rec.status.back(), "Extraction terminée");
    }
    EXPECT_EQ(Snapshot(t.path()).size(), 1u);
}

TEST(Extract, CrcDamageKeepsExistingFilesUnlessTheHandlerKeepsTheData) {
    for (std::uint16_t method : {8, 0}) {
        RawArchive a;
        a.members.push_back(Member("abime.txt", std::string(5000, 'a') + "fin", method));
        // The CRC damaged alike in both headers (they agree, the data does not).
        a.members.back().centralCrc = Crc(a.members.back().content) ^ 0x55;
        Bytes bytes = a.Build();
        bytes[14] ^= 0x55;
        Scratch s, t;
        WriteFile(s / "a.zip", bytes);
        WriteFile(t / "abime.txt", "ancien contenu");
        clsZip zip;
        Recorder rec(zip);
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        EXPECT_TRUE(zip.ExtractAllFiles(t.path(), false, true, false));
        EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{5}) << method;
        EXPECT_EQ(rec.errors[0].second, "Erreur de checksum (CRC) dans " + t / "abime.txt");
        EXPECT_EQ(Snapshot(t.path()), (std::map<std::string, std::string>{{"abime.txt", "ancien contenu"}}));
        EXPECT_FALSE(zip.TestAllFiles());

        rec.cancelOnCrc = true;
        EXPECT_TRUE(zip.ExtractAllFiles(t.path(), false, true, false));
        EXPECT_EQ(ReadFile(t / "abime.txt"), std::string(5000, 'a') + "fin");
    }
}

TEST(Extract, DamagedStreamsAreNeverWrittenAsGood) {
    const std::string content(200000, 'q');
    RawArchive a;
    a.members.push_back(Member("long.txt", content));
    a.members.push_back(Member("short.txt", content));
    a.members.push_back(Member("garbage.txt", content));
    // Both headers of long.txt declare fewer bytes than the stream yields,
    // both of short.txt more.
    a.members[0].centralUncompressed = 1000;
    a.members[1].centralUncompressed = 300000;
    const Bytes good = a.Build();
    Bytes bytes = good;
    kuv::zip::PutU32(reinterpret_cast<std::uint8_t*>(bytes.data()) + 22, 1000);
    const size_t second = good.find("short.txt") - 30;
    kuv::zip::PutU32(reinterpret_cast<std::uint8_t*>(bytes.data()) + second + 22, 300000);
    // garbage.txt: the deflate data itself is damaged.
    const size_t third = good.find("garbage.txt") - 30;
    for (size_t i = third + 30 + 11 + 2; i < third + 30 + 11 + 40; ++i) bytes[i] = static_cast<char>(0xFF);
    Scratch s, t;
    WriteFile(s / "a.zip", bytes);
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
    EXPECT_TRUE(zip.ExtractAllFiles(t.path(), false, false, false));
    EXPECT_EQ(rec.ErrorNumbers(), (std::vector<int>{16, 16, 16}));
    EXPECT_EQ(rec.errors[0].second, "Erreur non identifiée lors de la décompression du fichier long.txt");
    EXPECT_TRUE(Snapshot(t.path()).empty());
    EXPECT_FALSE(zip.TestAllFiles());
}

TEST(Extract, MethodsAndFlagsAreRefusedOneByOne) {
    RawArchive a;
    a.members.push_back(Member("bzip.txt", "data", 12));
    a.members.push_back(Member("secret.txt", "data", 0));
    a.members.back().flags = 0x0001;
    a.members.push_back(Member("ok.txt", "bon"));
    a.members.push_back(Member("descr.txt", "descripteur de données"));
    a.members.back().dataDescriptor = true;
    Opened o(a);
    Scratch t;
    EXPECT_TRUE(o.zip.ExtractAllFiles(t.path(), false, false, false));
    EXPECT_EQ(o.rec.ErrorNumbers(), (std::vector<int>{4, 20}));
    EXPECT_EQ(o.rec.errors[0].second, "La méthode de compression pour bzip.txt n'est pas supportée");
    EXPECT_EQ(o.rec.errors[1].second, "Le fichier secret.txt utilise une fonction Zip non prise en charge");
    EXPECT_EQ(Snapshot(t.path()),
              (std::map<std::string, std::string>{{"ok.txt", "bon"}, {"descr.txt", "descripteur de données"}}));
}

TEST(Extract, NamesNeverLeaveTheTargetFolder) {
    RawArchive a;
    a.members.push_back(Member("..\\evil.txt", "x"));
    a.members.push_back(Member("a/../../evil2.txt", "x"));
    a.members.push_back(Member(std::string("nul\0.txt", 8), "x"));
    a.members.push_back(Member("\\home\\jean\\lettre.txt", "lettre"));
    a.members.push_back(Member("C:\\dossier\\c.txt", "c"));
    a.members.push_back(Member("//double/./point.txt", "p"));
    a.members.push_back(Member("dir/", "", 0));
    Opened o(a);
    Scratch parent;
    const std::string t = parent / "cible";
    EXPECT_TRUE(o.zip.ExtractAllFiles(t, true, false, false));
    EXPECT_EQ(o.rec.ErrorNumbers(), (std::vector<int>{19, 19, 19}));
    EXPECT_EQ(o.rec.errors[0].second,
              "Nom de fichier refusé, il sortirait du dossier de destination : ..\\evil.txt");
    EXPECT_EQ(Snapshot(parent.path()), (std::map<std::string, std::string>{
                                           {"cible", "<dir>"},
                                           {"cible/home", "<dir>"},
                                           {"cible/home/jean", "<dir>"},
                                           {"cible/home/jean/lettre.txt", "lettre"},
                                           {"cible/C_", "<dir>"},
                                           {"cible/C_/dossier", "<dir>"},
                                           {"cible/C_/dossier/c.txt", "c"},
                                           {"cible/double", "<dir>"},
                                           {"cible/double/point.txt", "p"},
                                           {"cible/dir", "<dir>"},
                                       }));
    // The folder member keeps its number; extracting it alone makes the folder.
    Scratch t2;
    EXPECT_EQ(o.zip.inFileName(7), "dir\\");
    EXPECT_TRUE(o.zip.ExtractSingleFile(7, t2.path(), true, false, false));
    EXPECT_EQ(Snapshot(t2.path()), (std::map<std::string, std::string>{{"dir", "<dir>"}}));
}

TEST(Extract, SymbolicLinksAreNeverFollowedNorCreated) {
    Scratch outside, t;
    mkdir((outside / "victim").c_str(), 0777);
    WriteFile(outside / "victim/file.txt", "intact");
    ASSERT_EQ(symlink((outside / "victim").c_str(), (t / "sub").c_str()), 0);
    ASSERT_EQ(symlink((outside / "victim/file.txt").c_str(), (t / "file.txt").c_str()), 0);
    RawArchive a;
    a.members.push_back(Member("sub/file.txt", "pirate"));
    a.members.push_back(Member("file.txt", "nouveau"));
    Opened o(a);
    EXPECT_TRUE(o.zip.ExtractAllFiles(t.path(), true, true, false));
    EXPECT_EQ(o.rec.ErrorNumbers(), std::vector<int>{13});
    EXPECT_EQ(ReadFile(outside / "victim/file.txt"), "intact");
    // The link named like the member is replaced by the file, not written through.
    EXPECT_EQ(ReadFile(t / "file.txt"), "nouveau");
    EXPECT_FALSE(kuv::platform::IsSymlink(t / "file.txt"));
    EXPECT_TRUE(kuv::platform::IsSymlink(t / "sub"));
}

TEST(Extract, KeepModDateSetsTheMemberTime) {
    Opened o(ThreeMembers());
    Scratch t;
    ASSERT_TRUE(o.zip.ExtractAllFiles(t.path(), false, false, true));
    struct stat st {};
    ASSERT_EQ(stat((t / "note.txt").c_str(), &st), 0);
    kuv::platform::LocalDateTime when;
    when.year = 2023, when.month = 12, when.day = 24, when.hour = 14, when.minute = 19, when.second = 0;
    EXPECT_EQ(st.st_mtime, kuv::platform::FromLocalDateTime(when));
    EXPECT_LE(std::labs(st.st_atime - std::time(nullptr)), 5);
    Scratch u;
    ASSERT_TRUE(o.zip.ExtractAllFiles(u.path(), false, false, false));
    ASSERT_EQ(stat((u / "note.txt").c_str(), &st), 0);
    EXPECT_LE(std::labs(st.st_mtime - std::time(nullptr)), 5);
}

TEST(Extract, ProgressCancelStopsTheWalk) {
    Opened o(ThreeMembers());
    Scratch t;
    o.rec.cancelExtractAt = 30;
    EXPECT_FALSE(o.zip.ExtractAllFiles(t.path(), false, false, false));
    EXPECT_EQ(Snapshot(t.path()).size(), 1u);
    EXPECT_NE(o.rec.status.back(), "Extraction terminée");
}

TEST(Extract, NothingOpenAndTemporaryFolder) {
    clsZip zip;
    Recorder rec(zip);
    Scratch t;
    EXPECT_FALSE(zip.ExtractAllFiles(t.path(), false, false, false));
    EXPECT_FALSE(zip.TestAllFiles());
    EXPECT_EQ(rec.errors, (std::vector<std::pair<int, std::string>>{{3, "Il n'y a pas de fichier Zip ouvert"},
                                                                     {3, "Il n'y a pas de fichier Zip ouvert"}}));
    EXPECT_EQ(zip.ExtractSgFileToTmp(1), "");

    Scratch tmp;
    setenv("TMPDIR", tmp.path().c_str(), 1);
    Opened o(ThreeMembers());
    // Into the instance's private folder inside the temporary folder, never
    // over a file of the temporary folder itself.
    const std::string path = o.zip.ExtractSgFileToTmp(2);
    const std::string folder = kuv::platform::FolderOf(path);
    EXPECT_EQ(kuv::platform::FolderOf(folder), tmp.path());
    EXPECT_TRUE(kuv::zip::IsPrivateFolder(folder)) << folder;
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(path, folder + "/a:b.txt");
    EXPECT_EQ(ReadFile(path), "deux points");
    WriteFile(tmp / "note.txt", "ancienne");
    EXPECT_EQ(o.zip.ExtractSgFileToTmp(1), folder + "/note.txt");
    EXPECT_EQ(ReadFile(folder + "/note.txt"), "note de 2023");
    EXPECT_EQ(ReadFile(tmp / "note.txt"), "ancienne");
    EXPECT_EQ(o.zip.ExtractSgFileToTmp(4), "");
    EXPECT_EQ(o.zip.ExtractSgFileToTmp(0), "");
    unsetenv("TMPDIR");
}

TEST(Extract, TestAllFilesOnSoundArchive) {
    Opened o(ThreeMembers());
    EXPECT_TRUE(o.zip.TestAllFiles());
    EXPECT_TRUE(o.rec.errors.empty());
    EXPECT_EQ(o.rec.extractPercents.back(), 100);
}

// A file being written is given its name only once complete: a new one (made
// without a name) and one over an existing file alike; a target that
// appeared or turned into a folder in the meantime is never lost.
TEST(PendingFile, NamedOnlyWhenCompleteAndNeverOverAFolder) {
    using kuv::zip::PendingFile;
    using kuv::zip::SafeFolder;
    Scratch t;
    SafeFolder folder;
    ASSERT_TRUE(folder.OpenBase(t.path()));
    const auto write = [](PendingFile& f, const std::string& text) {
        return f.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    };
    {
        // New: nothing under any name before the commit.
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(true));
        ASSERT_TRUE(write(f, "premier jet"));
        ASSERT_TRUE(f.Rewind());
        ASSERT_TRUE(write(f, "nouveau"));
        ASSERT_TRUE(f.Close());
        EXPECT_TRUE(Snapshot(t.path()).empty());
        ASSERT_TRUE(f.Commit("neuf.txt", true));
    }
    {
        // Seen missing, but made by someone else before the commit: replaced whole.
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(true));
        ASSERT_TRUE(write(f, "le nôtre"));
        WriteFile(t / "apparu.txt", "d'un autre programme");
        EXPECT_TRUE(f.Commit("apparu.txt", true));
    }
    {
        // Over an existing file.
        WriteFile(t / "ancien.txt", "ancien");
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(false));
        ASSERT_TRUE(write(f, "remplacé"));
        EXPECT_TRUE(f.Commit("ancien.txt", false));
    }
    {
        // A file turned into a folder before the commit: the folder stays, with what it holds.
        WriteFile(t / "devenu", "un fichier");
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(false));
        ASSERT_TRUE(write(f, "perdu"));
        ASSERT_EQ(unlink((t / "devenu").c_str()), 0);
        ASSERT_EQ(mkdir((t / "devenu").c_str(), 0777), 0);
        WriteFile(t / "devenu/dedans.txt", "à garder");
        EXPECT_FALSE(f.Commit("devenu", false));
    }
    {
        // Dropped before its commit: nothing left.
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(true));
        ASSERT_TRUE(write(f, "abandonné"));
    }
    {
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(false));
        ASSERT_TRUE(write(f, "abandonné"));
    }
    const std::map<std::string, std::string> expected = {{"neuf.txt", "nouveau"},
                                                         {"apparu.txt", "le nôtre"},
                                                         {"ancien.txt", "remplacé"},
                                                         {"devenu", "<dir>"},
                                                         {"devenu/dedans.txt", "à garder"}};
    EXPECT_EQ(Snapshot(t.path()), expected);
}

// A new file written at once under its name stays only when kept: dropped,
// it is removed, but never a file that took its place since; it never goes
// over anything, a link included.
TEST(PlacedFile, KeptOrRemovedAndNeverOverAnything) {
    using kuv::zip::PlacedFile;
    using kuv::zip::SafeFolder;
    Scratch t;
    SafeFolder folder;
    ASSERT_TRUE(folder.OpenBase(t.path()));
    const auto place = [](PlacedFile& f, const std::string& name, const std::string& text) {
        return f.Write(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), true, 1000000000) == 0;
    };
    {
        PlacedFile f(folder);
        ASSERT_TRUE(place(f, "garde.txt", "gardé"));
        EXPECT_TRUE(f.Keep());
    }
    {
        PlacedFile f(folder);
        ASSERT_TRUE(place(f, "lache.txt", "lâché"));
        EXPECT_EQ(ReadFile(t / "lache.txt"), "lâché") << "under its name at once";
    }
    {
        // Replaced by another program before it was dropped: that file stays.
        PlacedFile f(folder);
        ASSERT_TRUE(place(f, "remplace.txt", "le nôtre"));
        ASSERT_EQ(unlink((t / "remplace.txt").c_str()), 0);
        WriteFile(t / "remplace.txt", "d'un autre programme");
    }
    {
        PlacedFile f(folder);
        ASSERT_TRUE(place(f, "vide.txt", ""));
        EXPECT_TRUE(f.Keep());
    }
    WriteFile(t / "existe.txt", "déjà là");
    ASSERT_EQ(symlink("/nonexistent/cible", (t / "lien").c_str()), 0);
    ASSERT_EQ(mkdir((t / "dossier").c_str(), 0777), 0);
    for (const char* name : {"existe.txt", "lien", "dossier"}) {
        PlacedFile f(folder);
        EXPECT_EQ(f.Write(name, reinterpret_cast<const std::uint8_t*>("x"), 1, false, 0), EEXIST) << name;
    }
    struct stat st {};
    ASSERT_EQ(stat((t / "garde.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000) << "the member's time";
    const std::map<std::string, std::string> expected = {{"garde.txt", "gardé"},
                                                         {"remplace.txt", "d'un autre programme"},
                                                         {"vide.txt", ""},
                                                         {"existe.txt", "déjà là"},
                                                         {"lien", "<link>/nonexistent/cible"},
                                                         {"dossier", "<dir>"}};
    EXPECT_EQ(Snapshot(t.path()), expected);
}

// The directory read at the opening serves the extractions and tests that
// follow while the archive stays as it was; an archive rewritten in place
// since is read again, never through the old directory (one whose end record
// moved must be opened again: nothing is extracted).
TEST(Extract, AnArchiveRewrittenSinceItWasOpenedIsReadAgain) {
    RawArchive first, sameSize, other;
    first.members.push_back(Member("lettre.txt", "première version"));
    sameSize.members.push_back(Member("lettre.txt", "deuxième version"));
    other.members.push_back(Member("autre.txt", "un autre contenu, plus long que les autres"));
    ASSERT_EQ(first.Build().size(), sameSize.Build().size());
    Opened o(first);
    Scratch t1, t2, t3;
    EXPECT_TRUE(o.zip.ExtractAllFiles(t1.path(), false, true, false));
    EXPECT_TRUE(o.zip.TestAllFiles());
    WriteFile(o.archive, sameSize.Build());  // in place: the open descriptor sees it
    EXPECT_TRUE(o.zip.TestAllFiles());
    EXPECT_TRUE(o.zip.ExtractAllFiles(t2.path(), false, true, false));
    WriteFile(o.archive, other.Build());
    EXPECT_FALSE(o.zip.ExtractAllFiles(t3.path(), false, true, false));
    EXPECT_EQ(Snapshot(t1.path()), (std::map<std::string, std::string>{{"lettre.txt", "première version"}}));
    EXPECT_EQ(Snapshot(t2.path()), (std::map<std::string, std::string>{{"lettre.txt", "deuxième version"}}));
    EXPECT_TRUE(Snapshot(t3.path()).empty());
    EXPECT_TRUE(o.rec.errors.empty());
}
