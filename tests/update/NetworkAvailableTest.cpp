#include <gtest/gtest.h>

#include <chrono>

#include "update/NetworkAvailable.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;

struct ScriptedProbe {
    std::vector<bool> answers;
    int asked = 0;
    NetworkProbe probe() {
        return [this] { return answers.at(asked++); };
    }
};

TEST(NetworkAvailable, APositiveFirstAnswerEndsTheQuestions) {
    ScriptedProbe script{{true, false}};
    EXPECT_TRUE(networkAvailable(script.probe(), 1ms));
    EXPECT_EQ(script.asked, 1);
}

TEST(NetworkAvailable, ASecondChanceCatchesALinkComingUp) {
    ScriptedProbe script{{false, true}};
    EXPECT_TRUE(networkAvailable(script.probe(), 1ms));
    EXPECT_EQ(script.asked, 2);
}

TEST(NetworkAvailable, TwoNegativeAnswersMeanNoNetwork) {
    ScriptedProbe script{{false, false, true}};
    EXPECT_FALSE(networkAvailable(script.probe(), 1ms));
    EXPECT_EQ(script.asked, 2);
}

}  // namespace
}  // namespace pellion
