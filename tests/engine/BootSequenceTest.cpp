#include "engine/BootSequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/BootSequenceRunner.h"

using namespace std::chrono_literals;
using namespace pellion;

namespace {

BootStep lines(std::optional<bool> dtr, std::optional<bool> rts) {
    return BootStep{dtr, rts, 0ms};
}
BootStep wait(std::chrono::milliseconds ms) {
    return BootStep{std::nullopt, std::nullopt, ms};
}

}  // namespace

TEST(BootSequence, PresetsAndCustomTextsGiveTheirSteps) {
    const BootSequence dtrEntry{lines(std::nullopt, true), lines(true, std::nullopt), wait(20ms),
                                lines(false, std::nullopt), wait(50ms)};
    EXPECT_EQ(ParseBootSequence("dtr-reset", BootRole::Entry).steps, dtrEntry);
    // The custom form of a preset is the preset, whatever the spacing and case.
    EXPECT_EQ(ParseBootSequence(" r1 | D1|w20|D0 |W50 ", BootRole::Entry).steps, dtrEntry);
    EXPECT_EQ(ParseBootSequence("rts-reset", BootRole::Exit).steps,
              (BootSequence{lines(false, std::nullopt), lines(std::nullopt, true), wait(20ms),
                            lines(std::nullopt, false)}));
    EXPECT_EQ(ParseBootSequence("B10|W0|B01", BootRole::Entry).steps,
              (BootSequence{lines(true, false), wait(0ms), lines(false, true)}));
    EXPECT_EQ(BootSequenceDuration(ParseBootSequence("dtr-reset", BootRole::Entry).steps), 70ms);

    const auto none = ParseBootSequence("none", BootRole::Entry);
    EXPECT_TRUE(none.ok() && none.steps.empty() && !none.go);
    EXPECT_TRUE(ParseBootSequence("", BootRole::Exit).go);
    EXPECT_TRUE(ParseBootSequence("go", BootRole::Exit).go);
    // Each name belongs to its role.
    EXPECT_FALSE(ParseBootSequence("go", BootRole::Entry).ok());
    EXPECT_FALSE(ParseBootSequence("none", BootRole::Exit).ok());
}

TEST(BootSequence, InvalidTextIsRefusedWithThePositionOfTheError) {
    struct Case {
        const char* text;
        BootSequenceError error;
        std::size_t position;
    };
    for (const Case& c :
         {Case{"D1|X1", BootSequenceError::UnknownStep, 4},
          Case{"D1||D0", BootSequenceError::EmptyStep, 4},
          Case{"D1|", BootSequenceError::EmptyStep, 4},
          Case{"|D1", BootSequenceError::EmptyStep, 1}, Case{"D2", BootSequenceError::BadLevel, 2},
          Case{"D10", BootSequenceError::BadLevel, 3}, Case{"B1", BootSequenceError::BadLevel, 3},
          Case{"D1 R1", BootSequenceError::UnknownStep, 4},
          Case{"R1|W", BootSequenceError::BadWait, 5},
          Case{"W5x", BootSequenceError::UnknownStep, 3},
          Case{"W60001", BootSequenceError::WaitTooLong, 2},
          Case{"D1|复位", BootSequenceError::UnknownStep, 4},
          Case{"复|X", BootSequenceError::UnknownStep, 1}}) {
        const auto parse = ParseBootSequence(c.text, BootRole::Entry);
        EXPECT_EQ(parse.error, c.error) << c.text;
        EXPECT_EQ(parse.errorPosition, c.position) << c.text;
        EXPECT_TRUE(parse.steps.empty()) << c.text;
    }
    const auto parse = ParseBootSequence("D1|W20|X", BootRole::Entry);
    EXPECT_EQ(BootSequenceErrorText(parse),
              "启动序列有误,第8个字符处应为D0/D1/R0/R1/B00..B11/W毫秒数,步骤之间用|分隔");
    EXPECT_EQ(BootSequenceErrorTextEnglish(parse),
              "error at character 8: expected D0, D1, R0, R1, B00..B11 or W<ms>, steps "
              "separated by '|'");
}

// Two slots' sequences interleave by their waits: neither waits for the other, and nothing
// sleeps. A failing line step ends its sequence there.
TEST(BootSequenceRunner, RunsEverySlotAtOnceAndStopsAtAFailingStep) {
    OwnerLoop loop;
    BootSequenceRunner runner(loop);
    std::vector<std::string> calls;
    auto setter = [&](std::string name, bool fail) {
        return [&calls, name, fail](std::optional<bool> dtr, std::optional<bool> rts) {
            calls.push_back(name + (dtr ? (*dtr ? "D1" : "D0") : "") +
                            (rts ? (*rts ? "R1" : "R0") : ""));
            return fail && calls.size() > 3 ? LineOutcome{false, true, "no lines"} : LineOutcome{};
        };
    };
    std::vector<std::string> ended;
    auto onEnd = [&](std::string name) {
        return [&ended, name](const LineOutcome& outcome) {
            ended.push_back(name + (outcome.ok ? " ok" : " " + outcome.message));
        };
    };
    runner.start(0, ParseBootSequence("D1|W200|D0", BootRole::Entry).steps, setter("a:", false),
                 onEnd("a"));
    runner.start(1, ParseBootSequence("R1|W20|R0|W20|B11|D0", BootRole::Entry).steps,
                 setter("b:", true), onEnd("b"));
    EXPECT_EQ(calls, (std::vector<std::string>{"a:D1", "b:R1"}));  // up to the first wait
    EXPECT_TRUE(runner.isActive(0) && runner.isActive(1));
    ASSERT_TRUE(loop.runUntil([&] { return ended.size() == 2; }, 5s));
    EXPECT_EQ(calls, (std::vector<std::string>{"a:D1", "b:R1", "b:R0", "b:D1R1", "a:D0"}));
    EXPECT_EQ(ended, (std::vector<std::string>{"b no lines", "a ok"}));
    EXPECT_FALSE(runner.isActive(0) || runner.isActive(1));

    // A cancelled sequence neither goes on nor reports.
    runner.start(2, ParseBootSequence("D1|W10|D0", BootRole::Entry).steps, setter("c:", false),
                 onEnd("c"));
    runner.cancel(2);
    loop.runUntil([] { return false; }, 50ms);
    EXPECT_EQ(calls.back(), "c:D1");
    EXPECT_EQ(ended.size(), 2u);
}
