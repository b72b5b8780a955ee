// The real program as a separate process on the X server: New and Bugger
// Off chosen through its menu with xdotool, its window grabbed from the
// screen and compared with the picture the core composes.
#include <cstdio>

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/program.h"
#include "fractal/frame/frame.h"
#include "tests/qt/picture.h"

using namespace zqv;

namespace {

constexpr int wait_ms = 20000;

// Runs xdotool; its output, or nothing when it failed or took over 10 s.
QString xdotool(const QStringList& arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

// The visible windows of the process, with those matching the name pattern.
QStringList windows_of(qint64 pid, const QString& name = "")
{
    return xdotool({"search", "--onlyvisible", "--pid", QString::number(pid), "--name", name})
        .split('\n', Qt::SkipEmptyParts);
}

// Clicks the File title in the menu bar at the window's top left and waits
// for its popup to show.
bool open_file_menu(const QString& window, qint64 pid)
{
    const qsizetype before = windows_of(pid).size();
    xdotool({"mousemove", "--window", window, "12", "8", "click", "1"});
    return QTest::qWaitFor([&] { return windows_of(pid).size() > before; }, wait_ms);
}

// Whether the picture is shown at the window's left edge, directly below
// a menu bar, as far as the window reaches.
bool shows_below_menu_bar(const QImage& window, const QImage& picture)
{
    for (int top = 1; top < window.height() / 2; ++top) {
        const int rows = qMin(picture.height(), window.height() - top);
        if (window.copy(0, top, picture.width(), rows) == picture.copy(0, 0, picture.width(), rows))
            return true;
    }
    return false;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

private slots:
    void new_through_the_menu_then_bugger_off()
    {
        start_program();
        const QImage expected = new_first_picture();
        QTemporaryDir working_dir;
        QProcess program;
        program.setWorkingDirectory(working_dir.path());
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(ZQV_PROGRAM);
        QVERIFY(program.waitForStarted());

        QString window;
        QVERIFY(QTest::qWaitFor([&] {
            const QStringList found = windows_of(program.processId(), "^ZQV$");
            if (!found.isEmpty())
                window = found.first();
            return !window.isEmpty();
        }, wait_ms));
        const auto grab = [&] {
            return QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage().convertToFormat(
                QImage::Format_RGB32);
        };
        QCOMPARE(grab().size(), QSize(640, 480));  // no window manager, so no frame

        QVERIFY(open_file_menu(window, program.processId()));
        xdotool({"key", "n"});  // the mnemonic of "&New"
        QVERIFY(QTest::qWaitFor([&] { return shows_below_menu_bar(grab(), expected); }, wait_ms));

        QVERIFY(open_file_menu(window, program.processId()));
        xdotool({"key", "Down", "Return"});  // "Bugger Off", the first item
        QVERIFY(program.waitForFinished(wait_ms));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("no X display: skipped");
        return 77;
    }
    QGuiApplication application(argc, argv);
    ProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "x11_test.moc"
