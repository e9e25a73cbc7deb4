// The test panel's buttons over the real engine: the in-memory list and its
// numbered removal, the list text, the streaming creation of the test
// archive and the in-place add and removal, with what each says and what it
// leaves on disk when it fails.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestPanelFakes.h"
#include "WriterTestSupport.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::testpanel::testing {
namespace {

using kuv::backup::testing::ReadFile;
using kuv::backup::testing::WriteFile;

std::string Repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

// The names an independent engine instance reads in an archive; empty when
// it is not one.
std::vector<std::string> MembersOf(const std::string& archive) {
    clsZip reader;
    std::vector<std::string> names;
    if (!reader.ZipOpen(archive)) return names;
    for (std::int32_t i = 1; i <= reader.inFileCount(); ++i) names.push_back(reader.inFileName(i));
    reader.ZipClose();
    return names;
}

bool UnzipTestPasses(const std::string& archive) {
    return writertest::RunShell("unzip -t " + writertest::Quote(archive)).status == 0;
}

class TestPanelLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(f.data + "/compta.txt", Repeat("écritures de janvier;", 200));
        WriteFile(f.data + "/Clients.csv", "Dupont;Lyon\r\n");
        WriteFile(f.data + "/vide.dat", "");
    }
    // The pending list's names, through the engine's own accessors.
    std::vector<std::string> Pending() {
        std::vector<std::string> names;
        for (std::int32_t i = 1; i <= f.engine.FileCount(); ++i) names.push_back(f.engine.FileName(i));
        return names;
    }
    PanelFixture f;
};

// ---- entry numbers typed for CdeSupp ----

struct NumberCase {
    const char* typed;
    bool numeric, usable;
    std::int32_t number;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.typed << '"'; }

class EntryNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(EntryNumberTest, ReadsTheTypedText) {
    const NumberCase c = GetParam();
    const EntryNumberAnswer a = ReadEntryNumber(c.typed);
    EXPECT_EQ(a.numeric, c.numeric) << c.typed;
    EXPECT_EQ(a.usable, c.usable) << c.typed;
    if (c.usable) {
        EXPECT_EQ(a.number, c.number) << c.typed;
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, EntryNumberTest,
                         ::testing::Values(NumberCase{"3", true, true, 3}, NumberCase{"  2  ", true, true, 2},
                                           NumberCase{"+4", true, true, 4}, NumberCase{"007", true, true, 7},
                                           NumberCase{"0", true, true, 0},
                                           NumberCase{"2147483647", true, true, 2147483647},
                                           NumberCase{"2147483648", true, false, 0},
                                           NumberCase{"99999999999999999999", true, false, 0},
                                           NumberCase{"-1", true, false, 0}, NumberCase{"1.5", true, false, 0},
                                           NumberCase{"2,0", true, false, 0}, NumberCase{"1e0", true, false, 0},
                                           NumberCase{".5", true, false, 0}, NumberCase{"", false, false, 0},
                                           NumberCase{"   ", false, false, 0}, NumberCase{"abc", false, false, 0},
                                           NumberCase{"1a", false, false, 0}, NumberCase{"1 2", false, false, 0},
                                           NumberCase{".", false, false, 0}, NumberCase{"-", false, false, 0},
                                           NumberCase{"1e", false, false, 0}));

// ---- adding, counting, listing ----

TEST_F(TestPanelLogicTest, AddWithoutFoldersTakesFile1sFolderAndItsSubFoldersByNameOnly) {
    ASSERT_TRUE(platform::CreateFolder(f.data + "/2026"));
    WriteFile(f.data + "/2026/decembre.txt", "bilan");
    f.Panel().AddWithoutFolders();
    EXPECT_EQ(Pending(), (std::vector<std::string>{"Clients.csv", "compta.txt", "vide.dat", "decembre.txt"}));
    f.Panel().ShowCount();
    EXPECT_EQ(f.view.status, "4 fichiers à Sauvegarder");
    // A second press gives the same member names again: the engine refuses
    // each duplicate (FileZipErr 11) instead of storing two members of one name.
    f.Panel().AddWithoutFolders();
    f.Panel().ShowCount();
    EXPECT_EQ(f.view.status, "4 fichiers à Sauvegarder");
    EXPECT_TRUE(f.view.JournalHas("FileZipErr n° 11"));
}

TEST_F(TestPanelLogicTest, AddWithoutFoldersWithoutADataFolderAddsNothingAndSaysWhy) {
    f.file1.clear();
    f.Panel().AddWithoutFolders();
    EXPECT_EQ(f.engine.FileCount(), 0);
    EXPECT_TRUE(f.view.JournalHas("File1 n'a pas de dossier"));
    f.Panel().ShowCount();
    EXPECT_EQ(f.view.status, "0 fichiers à Sauvegarder");
}

TEST_F(TestPanelLogicTest, AddWithFullPathsTakesTheCurrentFoldersClsFiles) {
    WriteFile(f.work + "/clsZip.cls", "VERSION 1.0 CLASS");
    WriteFile(f.work + "/Module.CLS", "Attribute");
    WriteFile(f.work + "/notes.txt", "pas une classe");
    f.Panel().AddWithFullPaths();
    std::string folder = f.work;
    for (char& c : folder)
        if (c == '/') c = '\\';
    EXPECT_EQ(Pending(), (std::vector<std::string>{folder + "\\clsZip.cls", folder + "\\Module.CLS"}));
}

TEST_F(TestPanelLogicTest, AddWithRelativePathsTakesTheTxtFilesAboveTheProgramFolder) {
    // The program folder is <root>/prog/bin: "..\*.txt" is <root>/prog/*.txt,
    // stored relative to the current folder <root>.
    WriteFile(f.root + "/prog/lisezmoi.txt", "lisez-moi");
    ASSERT_TRUE(platform::CreateFolder(f.root + "/prog/doc"));
    WriteFile(f.root + "/prog/doc/aide.TXT", "aide");
    WriteFile(f.root + "/prog/bin/dans-bin.txt", "pas au-dessus");
    const std::string saved = platform::CurrentFolder();
    ASSERT_EQ(chdir(f.root.c_str()), 0);
    f.Panel().AddWithRelativePaths();
    ASSERT_EQ(chdir(saved.c_str()), 0);
    EXPECT_EQ(Pending(), (std::vector<std::string>{"prog\\lisezmoi.txt", "prog\\bin\\dans-bin.txt",
                                                   "prog\\doc\\aide.TXT"}));
}

TEST_F(TestPanelLogicTest, ListTextIsOneLinePerEntryWithItsSizes) {
    f.Panel().AddWithoutFolders();
    const std::string text = f.Panel().ListText();
    // The sizes written into an archive, read back field by field.
    ASSERT_TRUE(f.engine.WriteZip(f.root + "/list.zip", true));
    const writertest::ReadArchive written = writertest::ParseArchive(ReadFile(f.root + "/list.zip"));
    ASSERT_TRUE(written.ok);
    ASSERT_EQ(written.members.size(), 3u);
    std::string expected;
    for (size_t i = 0; i < written.members.size(); ++i) {
        const auto& m = written.members[i];
        expected += std::to_string(i + 1) + " - " + m.name + " - compression à : " +
                    std::to_string(m.compressedSize) + " - taille orig. : " + std::to_string(m.uncompressedSize) +
                    "\r\n";
    }
    EXPECT_EQ(text, expected);
    // compta.txt is the one that compresses: its two numbers differ.
    EXPECT_NE(text.find("2 - compta.txt - compression à : "), std::string::npos);
    EXPECT_NE(text.find(" - taille orig. : " + std::to_string(Repeat("écritures de janvier;", 200).size()) + "\r\n"),
              std::string::npos);
}

TEST_F(TestPanelLogicTest, ShowListOfAnEmptyListIsAnEmptyBox) {
    f.Panel().ShowList();
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].kind, "information");
    EXPECT_EQ(f.boxes.shown[0].text, "");
}

// ---- CdeSupp ----

TEST_F(TestPanelLogicTest, RemoveFromSelectionShowsTheListAsksTheNumberAndRemovesThatEntry) {
    f.Panel().AddWithoutFolders();
    const std::string list = f.Panel().ListText();
    f.boxes.Type(" 2 ");
    f.Panel().RemoveFromSelection();
    ASSERT_EQ(f.boxes.shown.size(), 3u);
    EXPECT_EQ(f.boxes.shown[0].text, kLookAtTheList);
    EXPECT_EQ(f.boxes.shown[1].kind, "information");
    EXPECT_EQ(f.boxes.shown[1].text, list);
    EXPECT_EQ(f.boxes.shown[2].kind, "input");
    EXPECT_EQ(f.boxes.shown[2].title, "Entrer le paramètre");
    EXPECT_EQ(f.boxes.shown[2].text, "Indiquer le N° du fichier à effacer de la liste à zipper");
    EXPECT_EQ(f.view.status, "Fichier supprimé des éléments à zipper");
    EXPECT_EQ(Pending(), (std::vector<std::string>{"Clients.csv", "vide.dat"}));
}

class RemoveRefusedTest : public TestPanelLogicTest, public ::testing::WithParamInterface<const char*> {};

// A number that names no entry (out of range, negative, fractional, huge)
// changes nothing and says so, instead of being rounded or wrapped onto
// another entry.
TEST_P(RemoveRefusedTest, NumberNamingNoEntryChangesNothing) {
    f.Panel().AddWithoutFolders();
    f.boxes.Type(GetParam());
    f.Panel().RemoveFromSelection();
    EXPECT_EQ(f.view.status, "Erreur suppression ! Les éléments à zipper sont inchangés.");
    EXPECT_EQ(Pending(), (std::vector<std::string>{"Clients.csv", "compta.txt", "vide.dat"}));
    for (const auto& b : f.boxes.shown) EXPECT_NE(b.kind, "warning");
}

INSTANTIATE_TEST_SUITE_P(Numbers, RemoveRefusedTest,
                         ::testing::Values("0", "4", "-1", "-2", "1.5", "2,0", "1e0", "4294967298",
                                           "99999999999999999999"));

class RemoveNotANumberTest : public TestPanelLogicTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RemoveNotANumberTest, AnswerThatIsNoNumberGivesTheWarning) {
    f.Panel().AddWithoutFolders();
    const std::string typed = GetParam();
    if (typed == "<Annuler>") f.boxes.Cancel();
    else f.boxes.Type(typed);
    f.Panel().RemoveFromSelection();
    ASSERT_EQ(f.boxes.shown.size(), 4u);
    EXPECT_EQ(f.boxes.shown[3].kind, "warning");
    EXPECT_EQ(f.boxes.shown[3].title, "Echec dans la saisie");
    EXPECT_EQ(f.boxes.shown[3].text, "C'est un n° qui est demandé !");
    EXPECT_EQ(f.view.status, "unset");
    EXPECT_EQ(Pending(), (std::vector<std::string>{"Clients.csv", "compta.txt", "vide.dat"}));
}

INSTANTIATE_TEST_SUITE_P(Answers, RemoveNotANumberTest, ::testing::Values("abc", "", "   ", "deux", "1a", "<Annuler>"));

TEST_F(TestPanelLogicTest, RemoveFromAnEmptyListSaysTheRemovalFailed) {
    f.boxes.Type("1");
    f.Panel().RemoveFromSelection();
    EXPECT_EQ(f.boxes.shown[1].text, "");
    EXPECT_EQ(f.view.status, kEntryNotRemoved);
}

// ---- CmdConceptYB ----

TEST_F(TestPanelLogicTest, StreamingCreationWritesTheTestArchiveInTheProgramFolder) {
    ASSERT_TRUE(platform::CreateFolder(f.data + "/2026"));
    WriteFile(f.data + "/2026/decembre.txt", "bilan");
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "fichier zip créé avec 4 fichiers");
    EXPECT_EQ(f.Panel().ArchivePath(), f.program + "/TestVersGrosZip.zip");
    // Not in File1's folder, where it would be walked into itself.
    EXPECT_FALSE(platform::PathExists(f.data + "/TestVersGrosZip.zip"));
    std::string folder = f.data;
    for (char& c : folder)
        if (c == '/') c = '\\';
    EXPECT_EQ(MembersOf(f.Archive()),
              (std::vector<std::string>{folder + "\\Clients.csv", folder + "\\compta.txt", folder + "\\vide.dat",
                                        folder + "\\2026\\decembre.txt"}));
    EXPECT_TRUE(UnzipTestPasses(f.Archive()));
    // The list is empty again and the engine has no archive open.
    EXPECT_EQ(f.engine.FileCount(), 0);
    EXPECT_FALSE(f.engine.ZipIsOpen());
}

TEST_F(TestPanelLogicTest, StreamingCreationCountsTheMembersReallyWritten) {
    // A file whose own name holds "\" is left out by the engine, and a
    // second run replaces the first archive.
    WriteFile(f.data + "/a\\b.txt", "nom avec barre");
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "fichier zip créé avec 3 fichiers");
    EXPECT_EQ(MembersOf(f.Archive()).size(), 3u);
    EXPECT_TRUE(f.view.JournalHas("FileZipErr n° 22"));
    platform::RemoveFile(f.data + "/vide.dat");
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "fichier zip créé avec 2 fichiers");
    EXPECT_EQ(MembersOf(f.Archive()).size(), 2u);
}

// An empty folder gives a valid archive without members, which reads back:
// the panel keeps it and says it holds no file.
TEST_F(TestPanelLogicTest, StreamingCreationOfAnEmptyFolderGivesAnEmptyArchive) {
    const std::string empty = f.root + "/vide";
    ASSERT_TRUE(platform::CreateFolder(empty));
    f.file1 = empty;
    WriteFile(f.work + "/TestVersGrosZip.zip", "une autre archive");
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "fichier zip créé avec 0 fichiers");
    EXPECT_TRUE(platform::PathExists(f.Archive()));
    EXPECT_TRUE(MembersOf(f.Archive()).empty());
    EXPECT_EQ(ReadFile(f.work + "/TestVersGrosZip.zip"), "une autre archive");
}

// The archive cannot be created: nothing else of that name is deleted, not
// the one of File1's folder, not the one of the current folder.
TEST_F(TestPanelLogicTest, StreamingCreationThatCannotStartDeletesNoOtherFile) {
    f.archiveFolder = f.root + "/absent";
    WriteFile(f.data + "/TestVersGrosZip.zip", "une autre archive");
    WriteFile(f.work + "/TestVersGrosZip.zip", "encore une autre");
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "Echec de création du fichier zip");
    EXPECT_EQ(ReadFile(f.data + "/TestVersGrosZip.zip"), "une autre archive");
    EXPECT_EQ(ReadFile(f.work + "/TestVersGrosZip.zip"), "encore une autre");
    EXPECT_FALSE(platform::PathExists(f.root + "/absent"));
    EXPECT_EQ(f.engine.FileCount(), 0);
}

// The writing fails half way (the archive would pass the size limit): the
// archive it was writing is gone and the earlier test archive stays.
TEST_F(TestPanelLogicTest, StreamingCreationFailingHalfWayLeavesNoPartOfItsArchive) {
    f.Panel().CreateStreaming();
    ASSERT_EQ(f.view.status, "fichier zip créé avec 3 fichiers");
    const std::string before = ReadFile(f.Archive());
    for (int i = 0; i < 6; ++i) WriteFile(f.data + "/bloc" + std::to_string(i) + ".bin", Repeat("x", 3000));
    f.engine.SetLevelCompression(0);  // stored: 3000 bytes each
    f.engine.SetSizeLimit(10000);
    WriteFile(f.data + "/TestVersGrosZip.zip", "une autre archive");
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "Echec de création du fichier zip");
    EXPECT_EQ(ReadFile(f.Archive()), before);
    EXPECT_EQ(ReadFile(f.data + "/TestVersGrosZip.zip"), "une autre archive");
    // Nothing but the test archive in the program folder (no temporary file).
    EXPECT_EQ(platform::RegularFileNames(f.program), (std::vector<std::string>{"TestVersGrosZip.zip"}));
    std::vector<std::string> hidden;
    for (const auto& e : platform::ListFolder(f.program)) hidden.push_back(e.name);
    EXPECT_EQ(hidden, (std::vector<std::string>{"TestVersGrosZip.zip"}));
}

TEST_F(TestPanelLogicTest, StreamingCreationWithoutADataFolderFails) {
    f.file1.clear();
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, kCreateFailed);
    EXPECT_FALSE(platform::PathExists(f.Archive()));
}

// ---- CmdAjZip and cmdSu ----

class ArchiveUpdateTest : public TestPanelLogicTest {
protected:
    void SetUp() override {
        TestPanelLogicTest::SetUp();
        f.Panel().CreateStreaming();
        ASSERT_EQ(f.view.status, "fichier zip créé avec 3 fichiers");
        WriteFile(f.home + "/Appli/nouveau.txt", "ajouté ensuite");
        f.view.status = "unset";
    }
    std::string Backslashed(std::string path) {
        for (char& c : path)
            if (c == '/') c = '\\';
        return path;
    }
};

TEST_F(ArchiveUpdateTest, AddIntoArchiveAddsTheTypedFileWithItsPath) {
    // Typed as the user knows it, with the drive letter.
    f.boxes.Type("C:\\Appli\\nouveau.txt");
    f.Panel().AddIntoArchive();
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].title, "Ajout d'1 fichier à 1 zip existant");
    EXPECT_EQ(f.boxes.shown[0].text, "Indiquer le nom du fichier à ajouter avec son chemin");
    EXPECT_EQ(f.view.status, "fichier saisi ajouté au fichier Zip existant");
    const auto names = MembersOf(f.Archive());
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names.back(), Backslashed(f.home + "/Appli/nouveau.txt"));
    EXPECT_TRUE(UnzipTestPasses(f.Archive()));
    // Added again after a change: the new copy replaces the old one.
    WriteFile(f.home + "/Appli/nouveau.txt", "changé");
    f.boxes.Type(f.home + "/Appli/nouveau.txt");
    f.Panel().AddIntoArchive();
    EXPECT_EQ(f.view.status, kAdded);
    EXPECT_EQ(MembersOf(f.Archive()).size(), 4u);
}

TEST_F(ArchiveUpdateTest, RemoveFromArchiveRemovesTheTypedMember) {
    // Typed with "/" and another case: the same member.
    f.boxes.Type(platform::ToUpper(f.data) + "/COMPTA.TXT");
    f.Panel().RemoveFromArchive();
    EXPECT_EQ(f.boxes.shown[0].kind, "input");
    EXPECT_EQ(f.boxes.shown[0].title, kRemoveFromTitle);
    EXPECT_EQ(f.view.status, "fichier saisi supprimé du fichier Zip existant");
    EXPECT_EQ(MembersOf(f.Archive()), (std::vector<std::string>{Backslashed(f.data + "/Clients.csv"),
                                                                Backslashed(f.data + "/vide.dat")}));
    EXPECT_TRUE(UnzipTestPasses(f.Archive()));
}

TEST_F(ArchiveUpdateTest, CancelledInputChangesNothingAndSaysNothing) {
    const std::string before = ReadFile(f.Archive());
    f.boxes.Cancel();
    f.Panel().AddIntoArchive();
    f.boxes.Cancel();
    f.Panel().RemoveFromArchive();
    EXPECT_EQ(f.view.status, "unset");
    EXPECT_EQ(ReadFile(f.Archive()), before);
}

struct UpdateFailure {
    const char* name;
    const char* typedAdd;     // relative to the home folder, "" for an empty answer
    const char* typedRemove;  // a member name
    const char* archive;      // "keep", "garbage" or "missing"
    const char* journal;      // what the journal says about it
};

void PrintTo(const UpdateFailure& c, std::ostream* os) { *os << c.name; }

class UpdateFailureTest : public ArchiveUpdateTest, public ::testing::WithParamInterface<UpdateFailure> {};

// Each failure leaves the test archive byte for byte and says so, in Label5
// and, with the engine's reason, in the journal.
TEST_P(UpdateFailureTest, TestArchiveStaysByteForByte) {
    const UpdateFailure c = GetParam();
    const std::string archive = c.archive;
    if (archive == "garbage") WriteFile(f.Archive(), Repeat("ceci n'est pas une archive ", 40));
    if (archive == "missing") platform::RemoveFile(f.Archive());
    const std::string before = ReadFile(f.Archive());

    const std::string add = c.typedAdd;
    f.boxes.Type(add.empty() ? std::string() : add[0] == '/' || add[1] == ':' ? add : f.home + "/" + add);
    f.Panel().AddIntoArchive();
    EXPECT_EQ(f.view.status, "Echec ajout au zip, Zip existant inchangé");
    EXPECT_EQ(ReadFile(f.Archive()), before);

    f.view.status = "unset";
    f.boxes.Type(c.typedRemove);
    f.Panel().RemoveFromArchive();
    EXPECT_EQ(f.view.status, "Echec de suppression du zip, Zip existant inchangé");
    EXPECT_EQ(ReadFile(f.Archive()), before);
    EXPECT_EQ(platform::PathExists(f.Archive()), archive != "missing");
    EXPECT_FALSE(platform::PathExists(f.Archive() + "~"));
    EXPECT_TRUE(f.view.JournalHas(c.journal)) << ::testing::PrintToString(f.view.journal);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UpdateFailureTest,
    ::testing::Values(UpdateFailure{"MissingFileAndMember", "Appli/absent.txt", "\\nulle\\part.txt", "keep",
                                    "n'a pas été supprimé"},
                      UpdateFailure{"EmptyAnswers", "", "", "keep", "aucun nom de fichier saisi"},
                      UpdateFailure{"UnknownDrive", "Q:\\Appli\\nouveau.txt", "   ", "keep", "lecteur inconnu"},
                      UpdateFailure{"UnreadableArchive", "Appli/nouveau.txt", "compta.txt", "garbage",
                                    "FileZipErr n° 2"},
                      UpdateFailure{"MissingArchive", "Appli/nouveau.txt", "compta.txt", "missing",
                                    "FileZipErr n° 10"}),
    [](const ::testing::TestParamInfo<UpdateFailure>& info) { return std::string(info.param.name); });

// ---- the engine's events and the restore window ----

TEST_F(TestPanelLogicTest, ButtonsLendTheEngineEventsAndGiveThemBack) {
    std::vector<std::string> owner;
    f.engine.Events.FileZipErr = [&owner](std::string& path, std::int32_t& n, std::string&) {
        owner.push_back(std::to_string(n) + " " + path);
    };
    f.boxes.Type(f.root + "/absent.txt");
    f.Panel().CreateStreaming();
    f.Panel().AddIntoArchive();
    EXPECT_TRUE(owner.empty());
    EXPECT_TRUE(f.view.JournalHas("FileZipErr n° 10"));
    // The owner's handler is back.
    f.engine.FileAdd(f.root + "/absent.txt");
    ASSERT_EQ(owner.size(), 1u);
    EXPECT_EQ(owner[0], "10 " + f.root + "/absent.txt");
}

TEST_F(TestPanelLogicTest, WithoutTheEngineButtonsOnlySaySo) {
    f.engineMissing = true;
    f.Panel().AddWithoutFolders();
    f.Panel().ShowCount();
    f.Panel().CreateStreaming();
    EXPECT_EQ(f.view.status, "unset");
    EXPECT_TRUE(f.view.JournalHas("pas encore créé"));
    EXPECT_FALSE(platform::PathExists(f.Archive()));
}

// Window events run during the engine's walk; a button pressed meanwhile is
// refused instead of starting a second operation on the same engine.
TEST_F(TestPanelLogicTest, ButtonPressedWhileTheEngineWorksIsRefused) {
    int pumped = 0;
    f.engine.Events.DoEvents = [&] {
        if (pumped++ == 0) {
            f.Panel().AddWithoutFolders();
            f.Panel().ShowCount();
            f.Panel().RemoveFromSelection();
            f.Panel().AddIntoArchive();
        }
    };
    f.Panel().CreateStreaming();
    EXPECT_GT(pumped, 0);
    EXPECT_EQ(f.view.status, "fichier zip créé avec 3 fichiers");
    EXPECT_TRUE(f.view.JournalHas("cdeAjouterSansRépertoire : refusé"));
    EXPECT_TRUE(f.view.JournalHas("cdeCombien : refusé"));
    EXPECT_TRUE(f.view.JournalHas("CdeSupp : refusé"));
    EXPECT_TRUE(f.view.JournalHas("CmdAjZip : refusé"));
    EXPECT_TRUE(f.boxes.shown.empty());  // no box opened over the running operation
    EXPECT_EQ(f.engine.FileCount(), 0);
    // Once done, the buttons work again.
    f.Panel().ShowCount();
    EXPECT_EQ(f.view.status, "0 fichiers à Sauvegarder");
}

class FakeRestoreWindow : public RestoreWindowPort {
public:
    int opened = 0;
    void OpenModal() override { ++opened; }
};

TEST_F(TestPanelLogicTest, OpenRestoreWindowOpensItOrSaysItIsNotAvailable) {
    f.Panel().OpenRestoreWindow();
    EXPECT_EQ(f.view.status, kRestoreUnavailable);

    PanelFixture g;
    FakeRestoreWindow restore;
    g.restore = &restore;
    g.Panel().OpenRestoreWindow();
    EXPECT_EQ(restore.opened, 1);
    EXPECT_EQ(g.view.status, "unset");
}

}  // namespace
}  // namespace kuv::testpanel::testing
