#include "ShellFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "database/Installation.h"
#include "people/Databases.h"

namespace quill::test {

void FrameFixture::SetUp() {
    ui.answerer = [this](const std::string&, const std::string&) { return answer; };
    session = std::make_unique<Session>(ui);
    openInstallation(*session, dir.path());
}

void FrameFixture::TearDown() {
    // Windows that are closing are deleted before the session goes.
    frame.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

shell::Frame& FrameFixture::openFrame() {
    (void)restoreActiveDatabase(*session);
    frame = std::make_unique<shell::Frame>(*session, ui);
    return *frame;
}

void FrameFixture::endProgram() {
    frame.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    session.reset();
}

bool FrameFixture::startProgram(const std::string& home, shell::StartUpResult* result) {
    endProgram();
    session = std::make_unique<Session>(ui);
    shell::StartUpResult r;
    std::string error;
    if (!shell::startUp(*session, home, r, error)) return false;
    if (result) *result = r;
    frame = std::make_unique<shell::Frame>(*session, ui);
    frame->show();
    frame->start(r.version.firstStart);
    return true;
}

bool FrameFixture::waitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 10000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void FrameFixture::onNextDialog(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (QWidget* d = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(d);
        }
    });
    poll->start();
}

}  // namespace quill::test
