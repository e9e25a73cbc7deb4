// The dialog's rules without a window: mode decoding, keys, the field's
// filter and the answers of the buttons.
#include <gtest/gtest.h>

#include "ui/DialogLogic.h"
#include "ui/DialogPort.h"

namespace kuv {
namespace {

TEST(DialogDecode, FlagsCountOnlyWhenSomethingIsAddedToThem) {
    const DialogOpening message = DecodeDialogOpening(0, "Sauvegarde terminée !");
    EXPECT_FALSE(message.inputVisible);
    EXPECT_TRUE(message.showValider);
    EXPECT_FALSE(message.showOui || message.showNon || message.showAnnuler);
    EXPECT_EQ(message.message, "Sauvegarde terminée !");

    const DialogOpening question = DecodeDialogOpening(129, "Chemin ?|C:\\data");
    EXPECT_TRUE(question.inputVisible);
    EXPECT_EQ(question.inputRule, kInputRuleNone);
    EXPECT_EQ(question.buttonSet, 1);
    EXPECT_TRUE(question.showOui && question.showAnnuler);
    EXPECT_FALSE(question.showValider || question.showNon);

    for (int mode : {128, 1128}) {
        const DialogOpening d = DecodeDialogOpening(mode, "a|b");
        EXPECT_FALSE(d.inputVisible) << mode;
        EXPECT_EQ(d.buttonSet, 128) << mode;
        EXPECT_EQ(d.message, "a|b") << mode;
        EXPECT_FALSE(d.showValider || d.showOui || d.showNon || d.showAnnuler) << mode;
    }
    // 10000 exactly is not the digits flag: it is read as more than 1000
    // and more than 128, leaving 8872 and no button.
    const DialogOpening tenThousand = DecodeDialogOpening(10000, "");
    EXPECT_EQ(tenThousand.inputRule, kInputRuleUpperCase);
    EXPECT_TRUE(tenThousand.inputVisible);
    EXPECT_EQ(tenThousand.buttonSet, 8872);
    EXPECT_FALSE(tenThousand.showValider || tenThousand.showOui);

    const DialogOpening yesNo = DecodeDialogOpening(4, "Continuer ?");
    EXPECT_TRUE(yesNo.showOui && yesNo.showNon);
    EXPECT_FALSE(yesNo.showAnnuler || yesNo.showValider);
}

TEST(DialogDecode, RulesAndMask) {
    EXPECT_EQ(DecodeDialogOpening(1129, "x|NON").inputRule, kInputRuleUpperCase);
    EXPECT_EQ(DecodeDialogOpening(10129, "x").inputRule, kInputRuleDigits);
    EXPECT_EQ(DecodeDialogOpening(11129, "x").inputRule, kInputRuleUpperCase);  // upper case wins
    const DialogOpening masked = DecodeDialogOpening(100129, "Mot de passe ?|");
    EXPECT_TRUE(masked.masked);
    EXPECT_TRUE(masked.inputVisible);
    EXPECT_EQ(masked.buttonSet, 1);
    EXPECT_FALSE(DecodeDialogOpening(100000, "").masked);
}

TEST(DialogDecode, InputTextSplitsAtTheFirstBar) {
    const DialogOpening several = DecodeDialogOpening(129, "Nom ?|a|b||c");
    EXPECT_EQ(several.message, "Nom ?");
    EXPECT_EQ(several.inputText, "a|b||c");
    const DialogOpening none = DecodeDialogOpening(129, "Nom sans barre ?");
    EXPECT_EQ(none.message, "Nom sans barre ?");
    EXPECT_EQ(none.inputText, "");
    const DialogOpening emptyDefault = DecodeDialogOpening(129, "Nom ?|");
    EXPECT_EQ(emptyDefault.message, "Nom ?");
    EXPECT_EQ(emptyDefault.inputText, "");
}

TEST(DialogKeys, EnterAndEscapePerButtonSet) {
    using K = DialogKey;
    using B = DialogButton;
    EXPECT_EQ(DialogLevelButton(0, K::Enter), B::Valider);
    EXPECT_EQ(DialogLevelButton(0, K::Escape), B::Valider);
    EXPECT_EQ(DialogLevelButton(1, K::Enter), B::Oui);
    EXPECT_EQ(DialogLevelButton(1, K::Escape), B::Annuler);
    EXPECT_EQ(DialogLevelButton(4, K::Enter), B::Oui);
    EXPECT_EQ(DialogLevelButton(4, K::Escape), B::Non);
    EXPECT_EQ(DialogLevelButton(1, K::Other), std::nullopt);
    // No button shown: Enter goes on to the field, Escape still closes.
    EXPECT_EQ(DialogLevelButton(128, K::Enter), std::nullopt);
    EXPECT_EQ(DialogLevelButton(128, K::Escape), B::Annuler);
    EXPECT_EQ(InputFieldButton(K::Enter), B::Valider);
    EXPECT_EQ(InputFieldButton(K::Escape), B::Annuler);
    EXPECT_EQ(CloseButtonFor(0), B::Valider);
    EXPECT_EQ(CloseButtonFor(4), B::Non);
}

TEST(DialogKeys, FieldFilter) {
    for (const char* ok : {"0", "9", ".", ",", "\b", "\t", "\r"}) {
        EXPECT_TRUE(FilterFieldKey(kInputRuleDigits, ok).accepted) << ok;
    }
    for (const char* refused : {"a", "-", " ", "é", "+"}) {
        EXPECT_FALSE(FilterFieldKey(kInputRuleDigits, refused).accepted) << refused;
    }
    EXPECT_EQ(FilterFieldKey(kInputRuleUpperCase, "a").text, "A");
    EXPECT_EQ(FilterFieldKey(kInputRuleUpperCase, "é").text, "É");
    EXPECT_EQ(FilterFieldKey(kInputRuleUpperCase, "-").text, "-");
    EXPECT_EQ(FilterFieldKey(kInputRuleNone, "a").text, "a");
}

TEST(DialogAnswers, EachButtonLeavesItsCodeAndText) {
    DialogText = "Nom ?";
    LeaveDialogAnswer(DialogButton::Valider, "  abc  ", true);
    EXPECT_EQ(DialogMode, 1);
    EXPECT_EQ(DialogText, "abc");

    LeaveDialogAnswer(DialogButton::Valider, "ignored", false);
    EXPECT_EQ(DialogText, "");

    LeaveDialogAnswer(DialogButton::Oui, "  abc  ", true);
    EXPECT_EQ(DialogMode, 6);
    EXPECT_EQ(DialogText, "  abc  ");

    DialogText = "Nom ?";
    LeaveDialogAnswer(DialogButton::Non, "abc", true);
    EXPECT_EQ(DialogMode, 7);
    EXPECT_EQ(DialogText, "Nom ?");

    LeaveDialogAnswer(DialogButton::Annuler, "abc", true);
    EXPECT_EQ(DialogMode, 2);
    EXPECT_EQ(DialogText, "");
}

TEST(DialogText, LfCrIsOneLineBreak) {
    EXPECT_EQ(MessageForDisplay("Ligne 1\n\rLigne 2\r\nLigne 3\nLigne 4"),
              "Ligne 1\nLigne 2\nLigne 3\nLigne 4");
}

}  // namespace
}  // namespace kuv
