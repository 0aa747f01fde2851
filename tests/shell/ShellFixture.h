// A fresh installation with the desktop program's frame over it; questions
// are answered by the test and every text shown is recorded.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "shell/Frame.h"
#include "shell/QtInterface.h"
#include "shell/StartUp.h"
#include "support/TestSupport.h"

namespace quill::test {

struct FrameFixture : ::testing::Test {
    TempDir dir;
    shell::QtInterface ui;
    std::unique_ptr<Session> session;
    std::unique_ptr<shell::Frame> frame;
    Button answer = Button::Ok;

    void SetUp() override;
    void TearDown() override;
    // Opens the frame (after the test prepared the installation).
    shell::Frame& openFrame();
    // Starts the program as a person does on the installation at home: the
    // start-up sequence into a new session, then the frame and its start.
    // False (and no frame) when the start-up ended the program.
    bool startProgram(const std::string& home, shell::StartUpResult* result = nullptr);
    // Ends the frame and the session (the program ends).
    void endProgram();
    // Runs the event loop until done() holds, at most about ten seconds.
    static bool waitFor(const std::function<bool()>& done);
    // Calls act on the next modal dialog that opens (a dialog's own event
    // loop runs it).
    static void onNextDialog(std::function<void(QWidget*)> act);
};

}  // namespace quill::test
