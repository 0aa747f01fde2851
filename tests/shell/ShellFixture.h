// A fresh installation with the desktop program's frame over it; questions
// are answered by the test and every text shown is recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "shell/Frame.h"
#include "shell/QtInterface.h"
#include "support/TestSupport.h"

namespace quill::test {

struct FrameFixture : ::testing::Test {
    TempDir dir;
    shell::QtInterface ui;
    std::unique_ptr<Session> session;
    std::unique_ptr<shell::Frame> frame;
    Button answer = Button::Ok;

    void SetUp() override;
    // Opens the frame (after the test prepared the installation).
    shell::Frame& openFrame();
};

}  // namespace quill::test
