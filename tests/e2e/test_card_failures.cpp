// The card refusing a command of any group: the group files list their cases
// (InGroup), this one runs them.
#include "command_runs.h"

namespace e2e::groups {
namespace {

TEST_P(CardFailure, ReportsTheFailureAndItsStatus)
{
    const FailureCase& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    EXPECT_TRUE(RunMatches(Kelvast(c.words), c.status, Accepted(c.output), kPasswordTerminal));
}

}  // namespace
}  // namespace e2e::groups
