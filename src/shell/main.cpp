// quillmer: the desktop program over an installation.
#include <QApplication>
#include <iostream>

#include "shell/Frame.h"
#include "shell/QtInterface.h"
#include "shell/StartUp.h"

using namespace quill;
using namespace quill::shell;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillmer");
    std::string home = ".";
    QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--home" && i + 1 < args.size())
            home = args[++i].toStdString();
        else if (args[i].startsWith("--home="))
            home = args[i].mid(7).toStdString();
        else if (args[i] == "--help" || args[i] == "-h") {
            std::cout << "usage: quillmer [--home DIR]\n\nQuillmer's desktop program. Without --home the "
                         "installation is the current directory; a directory without one becomes a new "
                         "installation.\n";
            return 0;
        } else {
            std::cerr << "quillmer: unknown argument " << args[i].toStdString() << " (see --help)\n";
            return 2;
        }
    }
    QtInterface ui;
    Session session(ui);
    StartUpResult started;
    std::string error;
    if (!startUp(session, home, started, error)) {
        std::cerr << "quillmer: " << error << "\n";
        return 3;
    }
    try {
        Frame frame(session, ui);
        frame.show();
        frame.start(started.version.firstStart);
        return QApplication::exec();
    } catch (const ProgramStop& stop) {
        std::cerr << "quillmer: " << stop.text() << "\n";
        return 3;
    }
}
