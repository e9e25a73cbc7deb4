// The older generations of a cloud copy ("name.zip.sv1", "name.zip.sv2") in
// the restore window's cloud modes: listed after the newest, dated by their
// own files, browsed and restored (whole or chosen files) like it.
#include <gtest/gtest.h>

#include "BrowseFakes.h"
#include "RestoreFakes.h"
#include "WriterTestSupport.h"
#include "platform/Files.h"
#include "restore/BackupListing.h"
#include "restore/BrowseLogic.h"

namespace kuv::restore::testing {
namespace {

const std::string kNewestLine = "Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier";

std::string Entry(const std::string& line, const std::string& name) { return line + std::string(100, ' ') + name; }

enum class Cloud { Dropbox, OneDrive };

class CloudGenerations : public RestoreFixture {
public:
    // The cloud folder with its information file and the newest copy.
    void MakeCloud(Cloud cloud = Cloud::Dropbox) {
        cloud_ = cloud;
        folder = home + (cloud == Cloud::Dropbox ? "/Dropbox" : "/OneDrive");
        platform::CreateFolderPath(folder);
        WriteFile(folder + "/Info_sv_appli.txt", kNewestLine + "\r\n");
        Generation("kuvchier.zip", "compta la plus récente", 7, 9);
    }
    // A generation holding compta.dat with content, its file dated the
    // day'th of December 2026 at hour:53:20.
    void Generation(const std::string& name, const std::string& content, int day, int hour, bool damaged = false) {
        readertest::RawArchive a;
        a.members = {Dated("compta.dat", content, kDate, kTime),
                     Dated("zz.dat", std::string(20000, 'z') + "fin", kDate, kTime)};
        WriteFile(folder + "/" + name, damaged ? DamageLastMember(a.Build()) : a.Build());
        writertest::SetLocalMTime(folder + "/" + name, 2026, 12, day, hour, 53, 20);
    }
    void EnterCloud() {
        Load();
        if (cloud_ == Cloud::Dropbox) Logic().ToggleDropbox();
        else Logic().ToggleOneDrive();
    }
    // The archive and label of List2's entry i once it is clicked.
    std::pair<std::string, std::string> Chosen(int i) {
        Logic().List2Click(i);
        std::string archive, label;
        EXPECT_TRUE(Logic().ChosenBackup(archive, label));
        return {archive, label};
    }

    std::string folder;

private:
    Cloud cloud_ = Cloud::Dropbox;
};

// ---- the listing ----

struct ListingRow {
    const char* label;
    bool sv1, sv2, damagedSv1, newest;
    std::vector<std::string> listed;  // the archives of List2, in order
};

const ListingRow kListingRows[] = {
    {"three_generations", true, true, false, true, {"kuvchier.zip", "kuvchier.zip.sv1", "kuvchier.zip.sv2"}},
    {"only_sv2_missing", true, false, false, true, {"kuvchier.zip", "kuvchier.zip.sv1"}},
    {"sv1_missing", false, true, false, true, {"kuvchier.zip", "kuvchier.zip.sv2"}},
    {"damaged_sv1_still_listed", true, true, true, true, {"kuvchier.zip", "kuvchier.zip.sv1", "kuvchier.zip.sv2"}},
    {"newest_gone_older_ones_listed", true, false, false, false, {"kuvchier.zip", "kuvchier.zip.sv1"}},
    {"no_older_generation", false, false, false, true, {"kuvchier.zip"}},
};

class GenerationListing : public CloudGenerations, public ::testing::TestWithParam<ListingRow> {};

TEST_P(GenerationListing, OlderOnesFollowTheNewestDatedByTheirFiles) {
    const ListingRow& row = GetParam();
    MakeCloud();
    if (!row.newest) platform::RemoveFile(folder + "/kuvchier.zip");
    if (row.sv1) Generation("kuvchier.zip.sv1", "compta précédente", 5, 8, row.damagedSv1);
    if (row.sv2) Generation("kuvchier.zip.sv2", "compta la plus ancienne", 1, 18);
    // A second information file naming the same copy: listed once.
    WriteFile(folder + "/Info_sv_autre.txt", "Sauvegarde du : 06/12/2026 à 10:00 - Dossier : kuvchier\r\n");
    EnterCloud();
    std::vector<std::string> expected = {Entry(kNewestLine, "Info_sv_appli.txt")};
    for (const std::string& name : row.listed) {
        if (name == "kuvchier.zip.sv1")
            expected.push_back(Entry("Sauvegarde du : 05/12/2026 à 08:53 - Dossier : kuvchier", name));
        if (name == "kuvchier.zip.sv2")
            expected.push_back(Entry("Sauvegarde du : 01/12/2026 à 18:53 - Dossier : kuvchier", name));
    }
    expected.push_back(Entry("Sauvegarde du : 06/12/2026 à 10:00 - Dossier : kuvchier", "Info_sv_autre.txt"));
    EXPECT_EQ(view.list2, expected);
    for (size_t i = 0; i < row.listed.size(); ++i)
        EXPECT_EQ(Chosen(static_cast<int>(i)).first, folder + "/" + row.listed[i]) << i;
    // The last entry, the second information file's, still takes the archive its line names.
    EXPECT_EQ(Chosen(static_cast<int>(expected.size()) - 1).first, folder + "/kuvchier.zip");
}

INSTANTIATE_TEST_SUITE_P(Rows, GenerationListing, ::testing::ValuesIn(kListingRows),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- restoring an older generation ----

struct GenerationRestoreRow {
    const char* label;
    Cloud cloud;
    bool damaged;
};

class GenerationRestore : public CloudGenerations, public ::testing::TestWithParam<GenerationRestoreRow> {
public:
    GenerationRestore() {
        WriteFile(data + "/compta.dat", "compta du jour");
        MakeCloud(GetParam().cloud);
        Generation("kuvchier.zip.sv1", "compta précédente", 5, 8, GetParam().damaged);
        EnterCloud();
    }
};

// The whole restore of the chosen generation, or its refusal with the true
// message when it is damaged.
TEST_P(GenerationRestore, TheWholeRestoreTakesTheChosenGeneration) {
    const auto before = DataSnapshot();
    Logic().List2Click(1);
    EXPECT_EQ(view.choice, "Restaurer la Sauvegarde du : 05/12/2026 à 08:53 - Dossier : kuvchier");
    Answer({"OUI", "OUI"});
    Logic().Restore();
    EXPECT_EQ(dialog.shown[0].text.rfind(
                  "Confirmez la récupération de la \r\nSauvegarde du : 05/12/2026 à 08:53 - Dossier : kuvchier\r\n", 0),
              0u)
        << dialog.shown[0].text;
    if (GetParam().damaged) {
        EXPECT_EQ(Messages().back().rfind(std::string(kDamaged) + "\r\nErreur ", 0), 0u) << Messages().back();
        EXPECT_NE(Messages().back().find("zz.dat"), std::string::npos) << Messages().back();
        EXPECT_EQ(DataSnapshot(), before);
        EXPECT_EQ(end.ends, 0);
        return;
    }
    EXPECT_EQ(Logic().ArchivePath(), folder + "/kuvchier.zip.sv1");
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "compta précédente");
    EXPECT_EQ(ReadFile(data + "/Avant restauration 2701030905/compta.dat"), "compta du jour");
    EXPECT_EQ(end.ends, 1);
}

// Browsed from its entry, and chosen files of it restored (a damaged one
// refused, nothing placed).
TEST_P(GenerationRestore, BrowsedAndChosenFilesRestoredFromIt) {
    const auto before = DataSnapshot();
    const auto [archive, label] = Chosen(1);
    EXPECT_EQ(archive, folder + "/kuvchier.zip.sv1");
    RecordingBrowseView browseView;
    BrowseLogic browse{BrowseContext{browseView, dialog, clock, data, data, nullptr, program}};
    ASSERT_TRUE(browse.Open(archive, label));
    EXPECT_EQ(browseView.title, "Contenu de la sauvegarde du : 05/12/2026 à 08:53 - Dossier : kuvchier");
    Answer({"OUI"});
    browse.RestoreChosen({"compta.dat", "zz.dat"});
    if (GetParam().damaged) {
        EXPECT_EQ(browse.LastOutcome().result, RestoreResult::Damaged);
        EXPECT_EQ(DataSnapshot(), before);
        return;
    }
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "compta précédente");
    EXPECT_EQ(ReadFile(data + "/zz.dat"), std::string(20000, 'z') + "fin");
}

const GenerationRestoreRow kGenerationRestoreRows[] = {
    {"dropbox", Cloud::Dropbox, false}, {"onedrive", Cloud::OneDrive, false}, {"damaged", Cloud::Dropbox, true}};

INSTANTIATE_TEST_SUITE_P(Rows, GenerationRestore, ::testing::ValuesIn(kGenerationRestoreRows),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kuv::restore::testing
