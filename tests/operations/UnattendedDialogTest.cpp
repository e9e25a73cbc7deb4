// The dialog of an unattended run: its messages close by themselves after
// the delay it was given; questions, and every dialog of an interactive run,
// wait for the user.
#include <gtest/gtest.h>

#include "operations/UnattendedDialog.h"

namespace kuv::operations {
namespace {

// Records how each dialog was shown: -1 waiting for the user, else the delay.
class RecordingDialog : public DialogPort {
public:
    std::vector<int> shown;
    void ShowDialog() override { shown.push_back(-1); }
    void ShowDialogFor(int closeAfterMs) override { shown.push_back(closeAfterMs); }
};

struct ShowCase {
    const char* name;
    bool unattended;
    int mode;
    int shownAs;
};

class UnattendedDialogTest : public ::testing::TestWithParam<ShowCase> {};

TEST_P(UnattendedDialogTest, OnlyMessagesOfAnUnattendedRunCloseByThemselves) {
    RecordingDialog real;
    UnattendedDialog dialog(real, 1234);
    {
        UnattendedScope scope(dialog, GetParam().unattended);
        DialogMode = GetParam().mode;
        DialogText = "message";
        dialog.ShowDialog();
    }
    EXPECT_EQ(real.shown, std::vector<int>{GetParam().shownAs});
    // Once the unattended part is over, dialogs wait again.
    DialogMode = kDialogMessage;
    dialog.ShowDialog();
    EXPECT_EQ(real.shown.back(), -1);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, UnattendedDialogTest,
                         ::testing::Values(ShowCase{"UnattendedMessage", true, kDialogMessage, 1234},
                                           ShowCase{"UnattendedQuestion", true, kDialogConfirmUpper, -1},
                                           ShowCase{"InteractiveMessage", false, kDialogMessage, -1},
                                           ShowCase{"InteractiveQuestion", false, kDialogQuestion, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnattendedScopeTest, NestedScopesKeepTheOuterOne) {
    RecordingDialog real;
    UnattendedDialog dialog(real, kUnattendedDialogMs);
    {
        UnattendedScope outer(dialog, true);
        { UnattendedScope inner(dialog, false); EXPECT_TRUE(dialog.Unattended()); }
        EXPECT_TRUE(dialog.Unattended());
    }
    EXPECT_FALSE(dialog.Unattended());
    EXPECT_EQ(kUnattendedDialogMs, 30000);
}

}  // namespace
}  // namespace kuv::operations
