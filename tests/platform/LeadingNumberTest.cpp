// The numeric value at the start of a typed answer, as the program reads
// numbers the user types (a member number, a day count).
#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"

namespace {

struct Case {
    const char* text;
    double value;
};

class LeadingNumberTest : public ::testing::TestWithParam<Case> {};

TEST_P(LeadingNumberTest, ReadsTheNumberThatStartsTheText) {
    EXPECT_DOUBLE_EQ(kuv::platform::LeadingNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadingNumberTest,
    ::testing::Values(Case{"12", 12}, Case{"  \t7", 7}, Case{"-3", -3}, Case{"+4", 4}, Case{"2.5", 2.5},
                      Case{".5", 0.5}, Case{"46000.25 fin", 46000.25}, Case{"12abc", 12}, Case{"3,5", 3},
                      Case{"1e3", 1}, Case{"", 0}, Case{"abc", 0}, Case{"-", 0}, Case{"- 3", 0},
                      Case{".", 0}));

}  // namespace
