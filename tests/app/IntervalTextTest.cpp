#include <gtest/gtest.h>

#include "app/IntervalText.h"

namespace pellion {
namespace {

TEST(IntervalTextTest, DecimalMillisecondsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(writePauseOf("0"), 0u);
    EXPECT_EQ(writePauseOf("400"), 400u);
    EXPECT_EQ(writePauseOf("  7"), 7u);
    EXPECT_EQ(writePauseOf("+15"), 15u);
    EXPECT_EQ(writePauseOf("25ms"), 25u);
    EXPECT_EQ(writePauseOf("abc"), 0u);
    EXPECT_EQ(writePauseOf(""), 0u);
}

TEST(IntervalTextTest, NegativeAndHugeTextsCannotFreezeAPort) {
    EXPECT_EQ(writePauseOf("-5"), 0u);
    EXPECT_EQ(writePauseOf("60000"), kMaxWritePauseMs);
    EXPECT_EQ(writePauseOf("59999"), 59999u);
    EXPECT_EQ(writePauseOf("4294967296"), kMaxWritePauseMs);
    EXPECT_EQ(writePauseOf("99999999999999999999999"), kMaxWritePauseMs);

    // Only what is cut is beyond the limit (the window says so); a negative text is not.
    EXPECT_FALSE(exceedsWritePauseLimit("60000"));
    EXPECT_FALSE(exceedsWritePauseLimit("-70000"));
    EXPECT_TRUE(exceedsWritePauseLimit("60001"));
    EXPECT_TRUE(exceedsWritePauseLimit(" +99999999999999999999999ms"));
}

}  // namespace
}  // namespace pellion
