// In-place update: removing a member and adding files to an existing archive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ReaderTestSupport.h"
#include "zip/CentralDirectory.h"

using namespace readertest;

namespace {

RawArchive Three() {
    RawArchive a;
    a.members.push_back(Member("rapport.txt", "le rapport de sauvegarde"));
    a.members.push_back(Member("dossier\\b.txt", "bbbbbbbbbbbbbbbbbbbbbbbb", 0));
    a.members.push_back(Member("c.txt", "ccc c ccc"));
    a.comment = "Sauvegarde automatique";
    return a;
}

struct Listed {
    std::string name;
    std::uint32_t offset;
};

// Central entries of an archive file, with their local header offsets.
std::vector<Listed> Entries(const std::string& path) {
    const Bytes b = ReadFile(path);
    std::vector<Listed> out;
    const auto* p = reinterpret_cast<const std::uint8_t*>(b.data());
    const size_t end = b.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) return out;
    size_t at = kuv::zip::GetU32(p + end + 16);
    const unsigned count = kuv::zip::GetU16(p + end + 10);
    for (unsigned i = 0; i < count && at + 46 <= b.size(); ++i) {
        const unsigned n = kuv::zip::GetU16(p + at + 28), e = kuv::zip::GetU16(p + at + 30),
                       c = kuv::zip::GetU16(p + at + 32);
        out.push_back({b.substr(at + 46, n), kuv::zip::GetU32(p + at + 42)});
        at += 46 + n + e + c;
    }
    return out;
}

// The update's work files beside an archive (".NAME.XXXXXX").
std::vector<std::string> WorkFilesOf(const std::string& archive) {
    const std::string folder = archive.substr(0, archive.rfind('/'));
    const std::string prefix = "." + archive.substr(archive.rfind('/') + 1) + ".";
    std::vector<std::string> out;
    for (const auto& [name, content] : Snapshot(folder))
        if (name.rfind(prefix, 0) == 0 && name.size() == prefix.size() + 6) out.push_back(name);
    return out;
}

std::map<std::string, std::string> ExtractAll(const std::string& archive) {
    Scratch t;
    clsZip zip;
    Recorder rec(zip);
    EXPECT_TRUE(zip.ZipOpen(archive));
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(zip.ExtractAllFiles(t.path(), true, false, false));
    EXPECT_TRUE(rec.errors.empty());
    return Snapshot(t.path());
}

}  // namespace

TEST(Update, RemoveFirstShiftsTheOthersAndKeepsTheComment) {
    Scratch s;
    const std::string path = s / "a.zip";
    WriteFile(path, Three().Build());
    chmod(path.c_str(), 0640);
    const auto before = Entries(path);
    const std::uint32_t removedSize = before[1].offset - before[0].offset;

    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(path));
    ASSERT_TRUE(zip.FileRemoveFromZip(path, "RAPPORT.TXT"));  // without regard to case
    EXPECT_FALSE(zip.ZipIsOpen());  // the update closes the archive it replaces
    EXPECT_EQ(rec.status.back(), "Suppression élément interne à fichier comprimé terminée.");
    const auto after = Entries(path);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].offset, before[1].offset - removedSize);
    EXPECT_EQ(after[1].offset, before[2].offset - removedSize);
    EXPECT_EQ(ExtractAll(path), (std::map<std::string, std::string>{{"dossier", "<dir>"},
                                                                     {"dossier/b.txt", "bbbbbbbbbbbbbbbbbbbbbbbb"},
                                                                     {"c.txt", "ccc c ccc"}}));
    ASSERT_TRUE(zip.ZipOpen(path));
    EXPECT_EQ(zip.ZipComment(), "Sauvegarde automatique");
    EXPECT_FALSE(Exists(path + "~"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the archive keeps its permissions
}

TEST(Update, RemoveLastKeepsOffsetsAndNamesWithSlashes) {
    Scratch s;
    const std::string path = s / "a.zip";
    WriteFile(path, Three().Build());
    const auto before = Entries(path);
    clsZip zip;
    ASSERT_TRUE(zip.FileRemoveFromZip(path, "c.txt"));
    auto after = Entries(path);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].offset, before[0].offset);
    EXPECT_EQ(after[1].offset, before[1].offset);
    ASSERT_TRUE(zip.FileRemoveFromZip(path, "dossier/B.txt"));
    after = Entries(path);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].name, "rapport.txt");
}

TEST(Update, RemoveRefusalsLeaveTheArchiveByteForByte) {
    Scratch s;
    const std::string path = s / "a.zip";
    RawArchive a = Three();
    a.members.push_back(Member("vide.txt", "", 0));
    WriteFile(path, a.Build());
    const Bytes original = ReadFile(path);
    clsZip zip;
    Recorder rec(zip);
    EXPECT_FALSE(zip.FileRemoveFromZip(path, "absent.txt"));
    EXPECT_EQ(ReadFile(path), original);

    EXPECT_FALSE(zip.FileRemoveFromZip(s / "missing.zip", "x"));
    ASSERT_FALSE(rec.fileErrors.empty());
    EXPECT_EQ(rec.fileErrors.back(), std::make_pair(10, "Ce fichier n'existe pas [" + s / "missing.zip" + "]"));
    WriteFile(s / "text.zip", "pas une archive");
    EXPECT_FALSE(zip.FileRemoveFromZip(s / "text.zip", "x"));
    EXPECT_EQ(rec.fileErrors.back(),
              std::make_pair(2, "Le fichier n'est pas un fichier au format Zip ou Sv [" + s / "text.zip" + "]"));

    // The result would pass the largest archive allowed: ZipError 16 with
    // the cause, nothing changes.
    rec.errors.clear();
    zip.SetSizeLimit(100);
    EXPECT_FALSE(zip.FileRemoveFromZip(path, "c.txt"));
    EXPECT_EQ(ReadFile(path), original);
    ASSERT_EQ(rec.ErrorNumbers(), std::vector<int>{16});
    EXPECT_EQ(rec.errors[0].second,
              "Mise à jour du Zip impossible : l'archive dépasserait la taille maximale d'un fichier sur ce support");
    zip.SetSizeLimit(0x7FFFFFFF);

    // A user's file named like the old work file is never touched; empty
    // members can be removed.
    WriteFile(path + "~", "un fichier de l'utilisateur");
    ASSERT_TRUE(zip.FileRemoveFromZip(path, "VIDE.TXT"));
    EXPECT_EQ(Entries(path).size(), 3u);
    EXPECT_EQ(ReadFile(path + "~"), "un fichier de l'utilisateur");
    EXPECT_EQ(WorkFilesOf(path), std::vector<std::string>{});
}

// The archive's comment ends with the end record of a spanned archive, and
// bytes follow the comment, so the archive opens by its real end record. The
// update keeps the comment but not the trailing bytes: in its result the
// stray record would end the file and every reader would take it first. The
// update must then fail and leave the archive as it was, not report success
// over an archive that no longer opens.
TEST(Update, ACommentHidingAnEndRecordIsNeverMadeTheOneReadersFind) {
    Scratch s;
    const std::string path = s / "c.zip";
    RawArchive a = Three();
    Bytes stray("PK\x05\x06", 4);
    stray += Bytes("\x00\x00\x00\x00\x01\x00\x04\x00\x33\x00\x00\x00\x3e\x00\x00\x00\x00\x00", 18);
    a.comment = "Sauvegarde " + stray;
    WriteFile(path, a.Build() + "octets après le commentaire");
    const Bytes original = ReadFile(path);
    {
        clsZip zip;
        ASSERT_TRUE(zip.ZipOpen(path));
        ASSERT_EQ(zip.inFileCount(), 3);
    }
    WriteFile(s / "nouveau.txt", "ajouté");
    for (int operation = 0; operation < 2; ++operation) {
        SCOPED_TRACE(operation == 0 ? "remove" : "add");
        clsZip zip;
        Recorder rec(zip);
        std::int32_t pathChoice = 0;
        const bool done = operation == 0 ? zip.FileRemoveFromZip(path, "c.txt")
                                         : zip.FileAddIntoZip(path, s / "nouveau.txt", pathChoice, false, false);
        EXPECT_FALSE(done);
        EXPECT_EQ(ReadFile(path), original);
        ASSERT_EQ(rec.ErrorNumbers(), std::vector<int>{16});
        EXPECT_EQ(rec.errors[0].second,
                  "Mise à jour du Zip impossible : l'archive écrite ne se relit pas correctement");
        EXPECT_EQ(WorkFilesOf(path), std::vector<std::string>{});
    }
}

TEST(Update, RemoveMembersWrittenWithDataDescriptors) {
    Scratch s;
    const std::string path = s / "d.zip";
    RawArchive a;
    for (const char* n : {"un.txt", "deux.txt", "trois.txt"}) {
        a.members.push_back(Member(n, std::string(500, n[0])));
        a.members.back().dataDescriptor = true;
    }
    WriteFile(path, a.Build());
    clsZip zip;
    ASSERT_TRUE(zip.FileRemoveFromZip(path, "deux.txt"));
    EXPECT_EQ(ExtractAll(path), (std::map<std::string, std::string>{{"un.txt", std::string(500, 'u')},
                                                                     {"trois.txt", std::string(500, 't')}}));
}

TEST(Update, AddAppendsReplacesAndRefuses) {
    Scratch s, src;
    const std::string path = s / "a.zip";
    WriteFile(path, Three().Build());
    WriteFile(src / "nouveau.txt", "un nouveau fichier");
    WriteFile(src / "c.txt", "le nouveau c");
    clsZip zip;
    Recorder rec(zip);
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(path, src / "nouveau.txt", mode, false, false));
    auto entries = Entries(path);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].name, "nouveau.txt");

    // Already there and OverWrite False: nothing changes.
    const Bytes before = ReadFile(path);
    EXPECT_FALSE(zip.FileAddIntoZip(path, src / "c.txt", mode, false, false));
    EXPECT_EQ(ReadFile(path), before);

    // A file that does not exist: the archive stays as it was, even with
    // OverWrite and a member of that name present.
    EXPECT_FALSE(zip.FileAddIntoZip(path, src / "absent.txt", mode, false, true));
    EXPECT_FALSE(zip.FileAddIntoZip(path, src / "C.TXT", mode, false, true));
    EXPECT_EQ(ReadFile(path), before);

    // A write that fails half way (the size limit stands for a full medium).
    std::string big;
    for (int i = 0; i < 200000; ++i) big += std::to_string(i * 7919 % 100003);
    WriteFile(src / "gros.txt", big);
    zip.SetSizeLimit(before.size() + 1000);
    EXPECT_FALSE(zip.FileAddIntoZip(path, src / "gros.txt", mode, false, true));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(Exists(path + "~"));
    zip.SetSizeLimit(0x7FFFFFFF);

    // OverWrite True: the old member goes, the new one comes last.
    ASSERT_TRUE(zip.FileAddIntoZip(path, src / "c.txt", mode, false, true));
    entries = Entries(path);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].name, "c.txt");
    EXPECT_EQ(ExtractAll(path), (std::map<std::string, std::string>{{"rapport.txt", "le rapport de sauvegarde"},
                                                                     {"dossier", "<dir>"},
                                                                     {"dossier/b.txt", "bbbbbbbbbbbbbbbbbbbbbbbb"},
                                                                     {"nouveau.txt", "un nouveau fichier"},
                                                                     {"c.txt", "le nouveau c"}}));
    ASSERT_TRUE(zip.ZipOpen(path));
    EXPECT_EQ(zip.ZipComment(), "Sauvegarde automatique");
    EXPECT_FALSE(Exists(path + "~"));
}

TEST(Update, AnInterruptedAddLeavesTheArchiveAsItWas) {
    Scratch s, src;
    const std::string path = s / "a.zip";
    WriteFile(path, Three().Build());
    const Bytes before = ReadFile(path);
    std::string big;
    for (int i = 0; big.size() < 8u * 1024 * 1024; ++i) big += std::to_string(i * 2654435761u) + ";";
    WriteFile(src / "gros.txt", big);

    // The process ends in the middle of compressing the new member.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        clsZip zip;
        int calls = 0;
        zip.Events.DoEvents = [&calls] {
            if (++calls == 2) _exit(7);
        };
        std::int32_t mode = 0;
        zip.FileAddIntoZip(path, src / "gros.txt", mode, false, false);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 7) << "the add was not interrupted";
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(WorkFilesOf(path).size(), 1u);  // the unfinished work file

    // The next successful update removes the leftover work file.
    clsZip zip;
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(path, src / "gros.txt", mode, false, false));
    EXPECT_EQ(WorkFilesOf(path), std::vector<std::string>{});
    EXPECT_EQ(ExtractAll(path).at("gros.txt"), big);
}
