#pragma once

// Include from any Qt test: one QApplication for the whole test program, created before the
// first test and destroyed after the last, on the offscreen platform unless one is chosen.

#include <gtest/gtest.h>

#include <QApplication>

namespace pellion::test {

class QtAppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (QApplication::instance() != nullptr) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "pellion-test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }

    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    QApplication* app_ = nullptr;
};

inline ::testing::Environment* const qtAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace pellion::test
