// The table of the engine's messages: every message has its row, with its
// number, and "%1" takes the path it is about.
#include <gtest/gtest.h>

#include <set>

#include "zip/ZipErrors.h"

using namespace kuv::zip;

TEST(ZipErrorsTest, EveryMessageHasItsOwnRow) {
    std::set<std::string> texts;
    for (int i = 0; i <= static_cast<int>(ZipMessage::ArchiveReadError); ++i) {
        const auto id = static_cast<ZipMessage>(i);
        const ZipMessageRow& row = MessageRow(id);
        EXPECT_EQ(row.id, id) << i;
        EXPECT_GT(row.number, 0) << i;
        EXPECT_NE(std::string(row.text), "") << i;
        texts.insert(std::string(row.text) + "#" + std::to_string(row.number));
    }
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(ZipMessage::ArchiveReadError) + 1);
}

TEST(ZipErrorsTest, NumbersAndTexts) {
    EXPECT_EQ(NumberOf(ZipMessage::CorruptHeader), 14);
    EXPECT_EQ(MessageText(ZipMessage::CorruptHeader, "/x/a.txt"), "Structure corrompue dans le fichier /x/a.txt");
    EXPECT_EQ(NumberOf(ZipMessage::DuplicateName), 11);
    EXPECT_EQ(MessageText(ZipMessage::DuplicateName),
              "Nom en double dans l'archive, le fichier a été exclu du traitement");
    EXPECT_EQ(NumberOf(ZipMessage::UnsupportedFeature), 20);
    EXPECT_EQ(MessageText(ZipMessage::UpdateImpossible, "le support est plein"),
              "Mise à jour du Zip impossible : le support est plein");
}
