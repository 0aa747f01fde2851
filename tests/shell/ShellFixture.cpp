#include "ShellFixture.h"

#include "database/Installation.h"
#include "people/Databases.h"

namespace quill::test {

void FrameFixture::SetUp() {
    ui.answerer = [this](const std::string&, const std::string&) { return answer; };
    session = std::make_unique<Session>(ui);
    openInstallation(*session, dir.path());
}

shell::Frame& FrameFixture::openFrame() {
    (void)restoreActiveDatabase(*session);
    frame = std::make_unique<shell::Frame>(*session, ui);
    return *frame;
}

}  // namespace quill::test
