// Getting files back from a backup: the backup against the data folder, the
// filter of the browse table, and a restore of chosen members through the
// whole restore's safe path.
#include <gtest/gtest.h>

#include <algorithm>

#include "BrowseFakes.h"
#include "RestoreFakes.h"
#include "WriterTestSupport.h"
#include "platform/Files.h"
#include "platform/WorkNames.h"
#include "restore/BackupComparison.h"
#include "restore/BrowseLogic.h"
#include "restore/SafeRestore.h"
#include "zip/clsZip.h"

namespace kuv::restore::testing {
namespace {

// ---- states ----

// One file of the data folder against the backup's member of the same path.
struct StateRow {
    const char* label;
    const char* inBackup;  // nullptr: the backup does not hold it
    const char* inFolder;  // nullptr: the folder does not hold it
    int folderSecond;      // the folder file's seconds past 10:15 (the member's date)
    FileState first;       // before the CRC is read
    FileState settled;     // after
};

const StateRow kStateRows[] = {
    {"same_bytes_same_date", "abc", "abc", 0, FileState::Identical, FileState::Identical},
    {"two_seconds_later_is_the_same_date", "abc", "xyz", 2, FileState::Identical, FileState::Identical},
    {"size_differs", "abc", "abcd", 0, FileState::Modified, FileState::Modified},
    {"same_size_other_bytes_other_date", "abc", "abd", 30, FileState::ToCheck, FileState::Modified},
    {"same_bytes_other_date", "abc", "abc", 30, FileState::ToCheck, FileState::Identical},
    {"absent_from_the_folder", "abc", nullptr, 0, FileState::AbsentFromFolder, FileState::AbsentFromFolder},
    {"only_in_the_folder", nullptr, "abc", 0, FileState::OnlyInFolder, FileState::OnlyInFolder},
};

class ComparisonState : public RestoreFixture, public ::testing::TestWithParam<StateRow> {};

TEST_P(ComparisonState, SizeDateThenCrc) {
    const StateRow& row = GetParam();
    const std::string name = "Sous dossier/Été.dat";
    readertest::RawArchive a;
    if (row.inBackup) {
        a.members = {Dated("Sous dossier\\Été.dat", row.inBackup, kDate, kTime)};
        a.members[0].flags = 0x0800;  // UTF-8 name, as the program's own backups
    }
    a.members.push_back(Dated("autre.txt", "x", kDate, kTime));
    const std::string archive = WriteArchive("KuvSav-2612071015.zip", a);
    if (row.inFolder) {
        platform::CreateFolderPath(data + "/Sous dossier");
        WriteFile(data + "/" + name, row.inFolder);
        writertest::SetLocalMTime(data + "/" + name, 2026, 12, 7, 10, 15, row.folderSecond);
    }
    clsZip engine;
    ASSERT_TRUE(engine.ZipOpen(archive));
    std::vector<ComparedFile> rows = Compare(ListMembers(engine), ListDataFolder(data));
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const ComparedFile& f) { return f.path == name; });
    ASSERT_NE(it, rows.end());
    EXPECT_EQ(StateText(it->state), std::string(StateText(row.first)));
    SettleByCrc(*it, data);
    EXPECT_EQ(StateText(it->state), std::string(StateText(row.settled)));
    // Members first, then the folder's own files.
    EXPECT_EQ(rows.back().path == name, row.inBackup == nullptr);
}

INSTANTIATE_TEST_SUITE_P(Rows, ComparisonState, ::testing::ValuesIn(kStateRows),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Comparison, NamesDifferingByCaseOrAccentAreDifferentFilesAndCountsLineTellsThem) {
    const std::vector<BackupMember> members = {{"Compta.dat", 1, 3, 0, 100, true},
                                               {"été.txt", 2, 3, 0, 100, true},
                                               {"same.txt", 3, 3, 0, 100, true},
                                               {"changed.txt", 4, 3, 0, 100, true}};
    const std::vector<FolderFile> folder = {{"compta.dat", 3, 100}, {"ete.txt", 3, 100}, {"same.txt", 3, 101},
                                            {"changed.txt", 4, 100}};
    const auto rows = Compare(members, folder);
    const StateCounts n = CountStates(rows);
    EXPECT_EQ(n.absent, 2);
    EXPECT_EQ(n.onlyInFolder, 2);
    EXPECT_EQ(n.identical, 1);
    EXPECT_EQ(n.modified, 1);
    EXPECT_EQ(RestoreCountsLine(n),
              "1 fichiers seront remplacés, 2 ajoutés, 1 identiques ; 2 fichiers du dossier ne sont pas dans la "
              "sauvegarde et resteront.");
}

class FolderListing : public RestoreFixture, public ::testing::Test {};

TEST_F(FolderListing, KeptFoldersAreNotTheFoldersOwnFiles) {
    const std::string& root = data;
    platform::CreateFolderPath(root + "/Avant restauration 2612071015/docs");
    platform::CreateFolderPath(root + "/Avant restauration partielle 2612071016");
    platform::CreateFolderPath(root + "/Avant restauration 2612071017 (2)");
    WriteFile(root + "/Avant restauration 2612071017 (2)/" + platform::kPartialRestoreMarker, "");
    platform::CreateFolderPath(root + "/docs");
    WriteFile(root + "/Avant restauration 2612071015/docs/a.txt", "vieux");
    WriteFile(root + "/Avant restauration partielle 2612071016/b.txt", "vieux");
    WriteFile(root + "/docs/a.txt", "neuf");
    const auto files = ListDataFolder(root);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].path, "docs/a.txt");
    EXPECT_EQ(files[0].size, 4u);
}

// ---- filter ----

struct FilterRow {
    const char* name;
    const char* filter;
    bool shown;
};

const FilterRow kFilterRows[] = {
    {"Compta/Été 2026.xls", "ete", true},   {"Compta/Été 2026.xls", "ÉTÉ", true}, {"compta/ete.xls", "Été", true},
    {"Compta/Été 2026.xls", "hiver", false}, {"Compta/Été 2026.xls", "", true},    {"Œuvre.doc", "œuv", true},
    {"facture.pdf", "FACT", true},           {"facture.pdf", "ures", false},
};

class Filter : public ::testing::TestWithParam<FilterRow> {};

TEST_P(Filter, ContainsWithoutCaseOrAccents) {
    EXPECT_EQ(MatchesFilter(GetParam().name, GetParam().filter), GetParam().shown)
        << GetParam().name << " / " << GetParam().filter;
}

INSTANTIATE_TEST_SUITE_P(Rows, Filter, ::testing::ValuesIn(kFilterRows));

// ---- restoring chosen members ----

class PartialRestore : public RestoreFixture, public ::testing::Test {
public:
    PartialRestore() {
        WriteFile(data + "/compta.dat", "compta ancienne");
        WriteFile(data + "/clients.csv", "ancien");
        WriteFile(data + "/extra.txt", "reste");
    }
};

// A kept folder of the data folder: a whole restore's, or a partial one's
// (marked, or under the name earlier versions gave it).
void MakeKept(const std::string& data, const std::string& name, bool marked) {
    platform::CreateFolderPath(data + "/" + name);
    WriteFile(data + "/" + name + "/vieux.dat", "v");
    if (marked) WriteFile(data + "/" + name + "/" + platform::kPartialRestoreMarker, "");
}

TEST_F(PartialRestore, TwoMembersPlacedTheirOldVersionsKeptNothingElseTouched) {
    const std::string archive = WriteBackup("KuvSav-2612071015.zip");
    // Three whole-restore kept folders, the last of this very minute.
    for (const char* d : {"2612010900", "2612020900", "2701030905"}) MakeKept(data, kKeptFolderPrefix + std::string(d), false);
    // Four earlier partial ones: with this one, the two oldest go; the whole ones stay.
    MakeKept(data, kOldPartialKeptFolderPrefix + std::string("2612040900"), false);
    MakeKept(data, kOldPartialKeptFolderPrefix + std::string("2612050900"), false);
    MakeKept(data, kKeptFolderPrefix + std::string("2612060900"), true);
    MakeKept(data, kKeptFolderPrefix + std::string("2612070900"), true);
    clsZip engine;
    const RestoreOutcome o = RestoreMembers(engine, archive, data, clock.now, {"compta.dat", "docs/note.txt"});
    ASSERT_EQ(o.result, RestoreResult::Restored) << o.detail;
    EXPECT_EQ(o.restoredFiles, 2);
    EXPECT_EQ(o.keptFolderName, "Avant restauration 2701030905 (2)");
    EXPECT_EQ(KeptFolderKind(data, o.keptFolderName), KeptKind::Partial);
    const auto snap = DataSnapshot();
    EXPECT_EQ(snap.at("compta.dat"), "compta restaurée");
    EXPECT_EQ(snap.at("docs/note.txt"), std::string(5000, 'n'));
    EXPECT_EQ(snap.at("clients.csv"), "ancien");  // not chosen
    EXPECT_EQ(snap.at("extra.txt"), "reste");
    EXPECT_EQ(snap.at(o.keptFolderName + "/compta.dat"), "compta ancienne");
    EXPECT_EQ(snap.at(o.keptFolderName + "/" + platform::kPartialRestoreMarker), "");
    EXPECT_EQ(snap.count(o.keptFolderName + "/docs/note.txt"), 0u);  // nothing was there to keep
    for (const char* d : {"2612010900", "2612020900", "2701030905", "2612060900", "2612070900"})
        EXPECT_TRUE(platform::IsFolder(data + "/" + kKeptFolderPrefix + d)) << d;
    EXPECT_FALSE(platform::IsFolder(data + "/" + kOldPartialKeptFolderPrefix + "2612040900"));
    EXPECT_FALSE(platform::IsFolder(data + "/" + kOldPartialKeptFolderPrefix + "2612050900"));
    for (const auto& e : platform::ListFolder(data)) EXPECT_FALSE(platform::IsWorkName(e.name)) << e.name;
}

TEST_F(PartialRestore, AWholeRestoreDoesNotCountPartialFoldersAmongItsThreeNorMarksItsOwn) {
    const std::string archive = WriteBackup("KuvSav-2612071015.zip");
    for (const char* d : {"2612010900", "2612020900"}) MakeKept(data, kKeptFolderPrefix + std::string(d), false);
    for (const char* d : {"2612280900", "2612290900", "2612300900"}) MakeKept(data, kKeptFolderPrefix + std::string(d), true);
    clsZip engine;
    const RestoreOutcome o = RestoreArchive(engine, archive, data, clock.now);
    ASSERT_EQ(o.result, RestoreResult::Restored);
    EXPECT_EQ(KeptFolderKind(data, o.keptFolderName), KeptKind::Whole);
    for (const char* d : {"2612010900", "2612020900", "2612280900", "2612290900", "2612300900"})
        EXPECT_TRUE(platform::IsFolder(data + "/" + kKeptFolderPrefix + d)) << d;
}

// ---- pruning the kept folders ----

struct KeptFolder {
    std::string name;
    bool marked;
};

struct PruneRow {
    const char* label;
    std::vector<KeptFolder> folders;
    std::vector<std::string> removed;  // sorted
};

const std::string W = kKeptFolderPrefix, P = kOldPartialKeptFolderPrefix;

const PruneRow kPruneRows[] = {
    {"four_whole_four_partial",
     {{W + "2612010900", false}, {W + "2612020900", false}, {W + "2612030900", false}, {W + "2612040900", false},
      {W + "2612050900", true}, {W + "2612060900", true}, {W + "2612070900", true}, {W + "2612080900", true}},
     {W + "2612010900", W + "2612050900"}},
    {"many_newer_partials_never_push_out_a_whole_one",
     {{W + "2612010900", false}, {W + "2612020900", false}, {W + "2612030900", false}, {W + "2612040900", true},
      {W + "2612050900", true}, {W + "2612060900", true}, {W + "2612070900", true}, {W + "2612080900", true}},
     {W + "2612040900", W + "2612050900"}},
    {"old_name_partials_counted_with_the_marked_ones",
     {{W + "2612010900", false}, {P + "2612020900", false}, {P + "2612030900", false}, {W + "2612040900", true},
      {W + "2612050900", true}, {W + "2612060900", false}, {W + "2612070900", true}},
     {P + "2612020900", P + "2612030900"}},
    {"same_minute_numbers_order_them",
     {{W + "2612010900", false}, {W + "2612010900 (2)", true}, {W + "2612010900 (3)", false},
      {W + "2612010900 (4)", false}, {W + "2612010900 (5)", false}, {P + "2612010900 (2)", false}},
     {W + "2612010900"}},
    {"three_of_each_none_removed",
     {{W + "2612010900", false}, {W + "2612020900", false}, {W + "2612030900", false}, {W + "2612040900", true},
      {P + "2612050900", false}, {W + "2612060900", true}, {W + "perso", false}, {P + "perso", false}},
     {}},
};

class PruneKept : public RestoreFixture, public ::testing::TestWithParam<PruneRow> {};

TEST_P(PruneKept, KeepsThreeWholeAndThreePartial) {
    for (const KeptFolder& f : GetParam().folders) MakeKept(data, f.name, f.marked);
    std::vector<std::string> removed = PruneKeptFolders(data);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, GetParam().removed);
    for (const KeptFolder& f : GetParam().folders) {
        const bool gone = std::count(removed.begin(), removed.end(), f.name) > 0;
        EXPECT_EQ(platform::IsFolder(data + "/" + f.name), !gone) << f.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PruneKept, ::testing::ValuesIn(kPruneRows),
                         [](const auto& info) { return std::string(info.param.label); });

struct RefusedRow {
    const char* label;
    std::vector<std::string> chosen;
    bool damage;
    RestoreResult result;
};

const RefusedRow kRefusedRows[] = {
    {"damaged_chosen_member", {"compta.dat", "zz.dat"}, true, RestoreResult::Damaged},
    {"member_not_in_the_backup", {"compta.dat", "inconnu.dat"}, false, RestoreResult::NotDone},
    {"nothing_chosen", {}, false, RestoreResult::NotDone},
};

class PartialRestoreRefused : public RestoreFixture, public ::testing::TestWithParam<RefusedRow> {
public:
    PartialRestoreRefused() { WriteFile(data + "/compta.dat", "compta ancienne"); }
};

TEST_P(PartialRestoreRefused, NothingPlaced) {
    WriteComptaAndZz(backups, GetParam().damage);
    const auto before = DataSnapshot();
    clsZip engine;
    const RestoreOutcome o =
        RestoreMembers(engine, backups + "/KuvSav-2612071015.zip", data, clock.now, GetParam().chosen);
    EXPECT_EQ(static_cast<int>(o.result), static_cast<int>(GetParam().result));
    EXPECT_EQ(DataSnapshot(), before);
    for (const auto& e : platform::ListFolder(data)) EXPECT_FALSE(platform::IsWorkName(e.name)) << e.name;
    if (GetParam().damage) {
        EXPECT_NE(o.errorText.find("zz.dat"), std::string::npos) << o.errorText;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PartialRestoreRefused, ::testing::ValuesIn(kRefusedRows),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kuv::restore::testing

namespace kuv::restore::testing {
namespace {

// ---- the browse window's logic ----

TEST_F(BrowseLogicTest, ListFilterRestoreTwoThenTheTableFollows) {
    const std::string archive = WriteBackup("KuvSav-2612071015.zip");
    ASSERT_TRUE(browse.Open(archive, "07 Décembre 2026 à 10H15"));
    EXPECT_EQ(browseView.title, "Contenu de la sauvegarde du 07 Décembre 2026 à 10H15");
    EXPECT_EQ(browseView.shown,
              (std::vector<std::string>{"compta.dat modifié", "clients.csv absent du dossier",
                                        "docs/note.txt absent du dossier", "extra.txt seulement dans le dossier"}));
    EXPECT_EQ(browseView.counts, "0 identique, 1 modifié, 2 absents du dossier, 0 à vérifier, 1 seulement dans le dossier");
    browse.SetFilter("NOTE");
    EXPECT_EQ(browseView.shown, (std::vector<std::string>{"docs/note.txt absent du dossier"}));
    browse.SetFilter("");

    Answer({"non"});
    browse.RestoreChosen({"compta.dat", "docs/note.txt"});
    ASSERT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(dialog.shown[0].mode, 1129);
    EXPECT_EQ(dialog.shown[0].text, "Confirmez la récupération de 2 fichier(s)\r\n tapez 'OUI' pour confirmer ?|NON");
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "compta ancienne");  // refused: nothing done

    Answer({"oui"});
    browse.RestoreChosen({"compta.dat", "docs/note.txt"});
    EXPECT_EQ(Messages().back(), std::string(kChosenRestored) + "\r\n" + kKeptIn +
                                     "C:\\Appli\\Donnees\\Avant restauration 2701030905");
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "compta restaurée");
    EXPECT_EQ(end.ends, 0);  // the program goes on
    // The restored files keep the backup's dates: identical now.
    EXPECT_EQ(browseView.shown[0], "compta.dat identique");
    EXPECT_EQ(browseView.shown[2], "docs/note.txt identique");
    EXPECT_EQ(browseView.shown[1], "clients.csv absent du dossier");
}

TEST_F(BrowseLogicTest, ADamagedChosenMemberPlacesNothingAndSaysSo) {
    WriteComptaAndZz(backups, true);
    ASSERT_TRUE(browse.Open(backups + "/KuvSav-2612071015.zip", "07 Décembre 2026 à 10H15"));
    const auto before = DataSnapshot();
    Answer({"OUI"});
    browse.RestoreChosen({"compta.dat", "zz.dat"});
    EXPECT_EQ(Messages().back().rfind(std::string(kDamaged) + "\r\nErreur ", 0), 0u) << Messages().back();
    EXPECT_EQ(DataSnapshot(), before);
}

// ---- testing the browsed backup ----

// The archive bytes with one byte of member `name`'s data changed, `offset`
// bytes into it.
std::string FlipInMember(std::string bytes, const std::string& name, size_t offset) {
    const size_t at = bytes.find(name);  // its local header comes first
    const size_t extra = static_cast<std::uint8_t>(bytes[at - 2]) | static_cast<std::uint8_t>(bytes[at - 1]) << 8;
    const size_t data = at + name.size() + extra + offset;
    bytes[data] = static_cast<char>(bytes[data] ^ 0x5A);
    return bytes;
}

struct TestBackupRow {
    const char* label;
    const char* damaged;  // nullptr: sound
    size_t offset;
};

const TestBackupRow kTestBackupRows[] = {
    {"sound", nullptr, 0},
    {"first_member_deflated_first_byte", "compta.dat", 0},
    {"middle_member_inside", "grand.dat", 700},
    {"last_member_last_byte", "zz.dat", 14},
};

class BrowseTestBackup : public BrowseLogicTest, public ::testing::WithParamInterface<TestBackupRow> {};

TEST_P(BrowseTestBackup, SaysSoundOrNamesTheDamagedMemberTouchingNothing) {
    readertest::RawArchive a;
    a.members = {Dated("compta.dat", "compta restaurée", kDate, kTime),
                 Dated("grand.dat", std::string(3000, 'g') + "fin", kDate, kTime),
                 Dated("zz.dat", "dernier fichier", kDate, kTime)};
    a.members[1].method = 0;  // stored: the offsets are the file's own bytes
    a.members[2].method = 0;
    std::string bytes = a.Build();
    if (GetParam().damaged) bytes = FlipInMember(bytes, GetParam().damaged, GetParam().offset);
    const std::string archive = backups + "/KuvSav-2612071015.zip";
    WriteFile(archive, bytes);
    ASSERT_TRUE(browse.Open(archive, "07 Décembre 2026 à 10H15"));
    const auto before = DataSnapshot();
    dialog.shown.clear();
    EXPECT_EQ(browse.TestBackup(), GetParam().damaged == nullptr);
    ASSERT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(dialog.shown[0].mode, 0);
    const std::string& said = dialog.shown[0].text;
    if (GetParam().damaged) {
        EXPECT_EQ(said.rfind(std::string(kBackupDamaged) + "\r\nErreur ", 0), 0u) << said;
        EXPECT_NE(said.find(GetParam().damaged), std::string::npos) << said;
        for (const char* other : {"compta.dat", "grand.dat", "zz.dat"}) {
            if (std::string(other) == GetParam().damaged) continue;
            EXPECT_EQ(said.find(other), std::string::npos) << said;
        }
    } else {
        EXPECT_EQ(said, "La sauvegarde est intacte : ses 3 fichiers ont été relus sans erreur.");
    }
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(ReadFile(archive), bytes);
}

INSTANTIATE_TEST_SUITE_P(Rows, BrowseTestBackup, ::testing::ValuesIn(kTestBackupRows),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- extracting chosen members ----

struct ExtractRow {
    const char* label;
    bool existing;       // "compta.dat" already in the chosen folder
    const char* answer;  // to the question, when asked
    const char* comptaAfter;
};

const ExtractRow kExtractRows[] = {
    {"new_folder", false, nullptr, "compta restaurée"},
    {"existing_kept_on_non", true, "non", "ma version"},
    {"existing_kept_on_cancel", true, "", "ma version"},
    {"existing_replaced_on_oui", true, "oui", "compta restaurée"},
};

class BrowseExtract : public BrowseLogicTest, public ::testing::WithParamInterface<ExtractRow> {};

TEST_P(BrowseExtract, ChosenMembersWrittenAnExistingFileReplacedOnlyOnOui) {
    const ExtractRow& row = GetParam();
    ASSERT_TRUE(browse.Open(WriteBackup("KuvSav-2612071015.zip"), "07 Décembre 2026 à 10H15"));
    const std::string target = root + "/Extraits ici";
    picker.answer = target;
    if (row.existing) {
        platform::CreateFolderPath(target);
        WriteFile(target + "/compta.dat", "ma version");
    }
    if (row.answer) Answer({row.answer});
    const auto before = DataSnapshot();
    dialog.shown.clear();
    browse.ExtractChosen({"compta.dat", "docs/note.txt", "extra.txt"});
    EXPECT_EQ(picker.offered, program + "/Fichiers extraits");
    EXPECT_EQ(ReadFile(target + "/compta.dat"), row.comptaAfter);
    EXPECT_EQ(ReadFile(target + "/docs/note.txt"), std::string(5000, 'n'));
    EXPECT_FALSE(platform::PathExists(target + "/clients.csv"));  // not chosen
    EXPECT_FALSE(platform::PathExists(target + "/extra.txt"));    // only in the data folder
    EXPECT_EQ(DataSnapshot(), before);
    ASSERT_EQ(dialog.shown.size(), row.existing ? 2u : 1u);
    if (row.existing) {
        EXPECT_EQ(dialog.shown[0].mode, 1129);
        EXPECT_EQ(dialog.shown[0].text,
                  "Le fichier compta.dat existe déjà dans ce dossier, le remplacer ?\r\n tapez 'OUI' pour le "
                  "remplacer ?|NON");
    }
    const bool kept = row.existing && std::string(row.comptaAfter) == "ma version";
    EXPECT_EQ(Messages().back(),
              (kept ? "1" : "2") + std::string(" fichier(s) extrait(s) dans : ") + target +
                  (kept ? "\r\n1 fichier(s) déjà présent(s) gardé(s) tel(s) quel(s)." : ""));
}

INSTANTIATE_TEST_SUITE_P(Rows, BrowseExtract, ::testing::ValuesIn(kExtractRows),
                         [](const auto& info) { return std::string(info.param.label); });

// The engine writes "a:b.txt" as "a_b.txt": the file there under that name
// is asked about too, not replaced unasked.
TEST_F(BrowseLogicTest, ExtractingAsksAboutAFileUnderTheNameTheEngineWrites) {
    readertest::RawArchive a;
    a.members = {Dated("a:b.txt", "de la sauvegarde", kDate, kTime)};
    ASSERT_TRUE(browse.Open(WriteArchive("KuvSav-2612071015.zip", a), "07 Décembre 2026 à 10H15"));
    picker.answer = root + "/Extraits ici";
    platform::CreateFolderPath(picker.answer);
    WriteFile(picker.answer + "/a_b.txt", "ma version");
    Answer({"non"});
    dialog.shown.clear();
    browse.ExtractChosen({browse.Rows().at(0).path});  // as the table shows it
    ASSERT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(dialog.shown[0].mode, 1129);
    EXPECT_EQ(ReadFile(picker.answer + "/a_b.txt"), "ma version");
}

TEST_F(BrowseLogicTest, ExtractingIsLeftAloneWhenTheFolderDialogIsCancelled) {
    ASSERT_TRUE(browse.Open(WriteBackup("KuvSav-2612071015.zip"), "07 Décembre 2026 à 10H15"));
    dialog.shown.clear();
    browse.ExtractChosen({"compta.dat"});  // the dialog gives no folder
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_FALSE(platform::PathExists(program + "/Fichiers extraits"));
}

}  // namespace
}  // namespace kuv::restore::testing
