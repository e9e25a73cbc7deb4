// Seeded byte flips of a good archive: every variant is opened, listed,
// tested and extracted into a scratch folder without a crash, a hang, or a
// file outside that folder.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "ReaderTestSupport.h"

using namespace readertest;

namespace {

std::vector<std::string> TopLevelNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

}  // namespace

TEST(Mutation, SeededByteFlipsNeverCrash) {
    RawArchive a;
    a.members.push_back(Member("dossier\\texte.txt", std::string(3000, 't') + "fin du texte"));
    a.members.push_back(Member("brut.bin", "donnees brutes stockees", 0));
    a.members.push_back(Member("dossier/", "", 0));
    a.members.push_back(Member("descr.txt", "avec descripteur"));
    a.members.back().dataDescriptor = true;
    a.members.push_back(Member("vide.txt", "", 0));
    a.comment = "commentaire";
    const Bytes good = a.Build();

    Scratch s;
    const std::string archive = s / "m.zip";
    const std::string target = s / "out";
    std::mt19937 random(20231224);
    const auto start = std::chrono::steady_clock::now();
    constexpr int kRounds = 3000;
    int opened = 0;
    for (int round = 0; round < kRounds; ++round) {
        Bytes b = good;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) {
            const size_t at = random() % b.size();
            if (random() % 2) b[at] = static_cast<char>(random() & 0xFF);
            else b[at] ^= static_cast<char>(1u << (random() % 8));
        }
        WriteFile(archive, b);
        clsZip zip;
        if (zip.ZipOpen(archive)) {
            ++opened;
            for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) {
                zip.inFileName(n);
                zip.FileUncompressedSize(n);
                zip.FileDateAndTime(n);
            }
            zip.TestAllFiles();
            zip.ExtractAllFiles(target, round % 2 == 0, true, round % 3 == 0);
        }
        // Nothing lands beside the target folder.
        for (const std::string& name : TopLevelNames(s.path()))
            ASSERT_TRUE(name == "m.zip" || name == "out") << name;
    }
    EXPECT_GT(opened, 0);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count(), 60);
}
