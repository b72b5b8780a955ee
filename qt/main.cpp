// The Linux program: the Qt application around the one main window. Qt's
// own start-up failure (no display, no usable platform) is an abort after
// several lines of diagnostics; here it is one line and exit code -1, like
// the Windows program's failure to create its window.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QString>

#include "qt/window.h"

namespace {

struct HeldMessage {
    QtMsgType type;
    const char* category;  // Qt's categories are static strings
    QString text;
};

QtMessageHandler qt_handler;
std::vector<HeldMessage> held;

// Holds Qt's messages until the window exists; a fatal one before that ends
// the program with the first message as the reason.
void hold_start_up_message(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        held.push_back({type, context.category, text});
        return;
    }
    const QString reason = (held.empty() ? text : held.front().text).trimmed();
    std::fprintf(stderr, "zqv: cannot create the window: %s\n", reason.toLocal8Bit().constData());
    std::_Exit(-1);
}

// Hands the held messages to Qt's own handler, which takes over from here.
void release_start_up_messages()
{
    qInstallMessageHandler(qt_handler);
    for (const HeldMessage& m : held)
        qt_handler(m.type, QMessageLogContext(nullptr, 0, nullptr, m.category), m.text);
    held.clear();
}

}  // namespace

int main(int argc, char** argv)
{
    qt_handler = qInstallMessageHandler(hold_start_up_message);
    QApplication application(argc, argv);
    zqv::open_main_window();
    release_start_up_messages();
    return application.exec();
}
