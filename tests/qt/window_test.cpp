// The Qt main window driven in-process as a user would: menu clicks, mouse
// releases, and message boxes and file dialogs answered by the test.
#include <clocale>
#include <cstring>
#include <functional>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/controller.h"
#include "app/window_system.h"
#include "fractal/frame/frame.h"
#include "fractal/frame/view.h"
#include "qt/window.h"
#include "recording/recording.h"
#include "tests/qt/picture.h"
#include "zoom/compositor.h"
#include "zoom/ring.h"

using namespace zqv;

namespace {

struct Box {
    QString title;
    QString text;
    int buttons;
};

// What the screen shows of the image area, after pending repaints.
QImage shown_picture()
{
    QCoreApplication::processEvents();
    QWidget* area = image_area();
    const QPoint at = area->mapTo(main_window(), QPoint(0, 0));
    return main_window()
        ->screen()
        ->grabWindow(main_window()->winId(), at.x(), at.y(), area->width(), area->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Opens the popup titled menu_title in the menu bar and clicks its item.
void choose(const QString& menu_title, const QString& item_text)
{
    QMenuBar* bar = main_window()->menuBar();
    for (QAction* popup : bar->actions()) {
        if (popup->text() != menu_title)
            continue;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(popup).center());
        QMenu* menu = popup->menu();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        for (QAction* item : menu->actions())
            if (item->text() == item_text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
                return;
            }
    }
    QFAIL(qPrintable("no menu item " + menu_title + " / " + item_text));
}

// Runs what; every 10 ms while a modal window is up, hands it to answer.
void while_modal(const std::function<void()>& what, const std::function<void(QWidget*)>& answer)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget())
            answer(modal);
    });
    poll.start(10);
    what();
}

// Runs what, closing each message box it shows with its OK button.
std::vector<Box> boxes_shown(const std::function<void()>& what)
{
    std::vector<Box> boxes;
    while_modal(what, [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        boxes.push_back({box->windowTitle(), box->text(), int(box->buttons().size())});
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    return boxes;
}

QStringList item_texts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts << action->text();
    return texts;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir working_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(working_dir.path()));
        open_main_window();
        QVERIFY(QTest::qWaitForWindowExposed(main_window()));
    }

    void cleanup()
    {
        stop_timer();
    }

    // Runs first: nothing has been drawn yet.
    void window_title_size_menus_and_background()
    {
        QCOMPARE(main_window()->windowTitle(), QString("ZQV"));
        QCOMPARE(main_window()->frameGeometry().size(), QSize(640, 480));
        QMenuBar* bar = main_window()->menuBar();
        QCOMPARE(item_texts(bar->actions()), QStringList({"File", "&Zoom"}));
        QCOMPARE(item_texts(bar->actions()[0]->menu()->actions()),
                 QStringList({"Bugger Off", "&New", "New (&Recorded)", "&Open", "&Generate Only"}));
        QCOMPARE(item_texts(bar->actions()[1]->menu()->actions()),
                 QStringList({"&Stop/Start", "&Query Position"}));

        QImage blank(image_area()->size(), QImage::Format_RGB32);
        blank.fill(image_area()->palette().window().color());
        QCOMPARE(shown_picture(), blank);
        QCOMPARE(max_iterations(), program_iteration_cap);
    }

    // The picture is drawn unscaled at the area's origin, clipped by a small
    // area and surrounded by the background in a large one.
    void new_shows_its_first_picture()
    {
        const QImage expected = new_first_picture();
        choose("File", "&New");
        const QImage shown = shown_picture();
        QVERIFY(shown.height() < frame_height);
        QCOMPARE(shown, expected.copy(0, 0, shown.width(), shown.height()));

        main_window()->resize(800, 600);
        const QImage large = shown_picture();
        QCOMPARE(large.copy(0, 0, frame_width, frame_height), expected);
        const QRgb background = image_area()->palette().window().color().rgb();
        QCOMPARE(large.pixel(frame_width, 0), background);
        QCOMPARE(large.pixel(0, frame_height), background);
        QCOMPARE(large.pixel(large.width() - 1, large.height() - 1), background);
        main_window()->resize(640, 480);
    }

    void stop_start_animates_and_freezes()
    {
        choose("File", "&New");
        const QImage first = shown_picture();
        choose("&Zoom", "&Stop/Start");
        QTest::qWait(150);
        QVERIFY(shown_picture() != first);

        choose("&Zoom", "&Stop/Start");
        const QImage frozen = shown_picture();
        QTest::qWait(150);
        QCOMPARE(shown_picture(), frozen);
    }

    // Also run under a comma-decimal locale: the text keeps its points.
    void query_position()
    {
        if (qEnvironmentVariable("LC_ALL").startsWith("de_DE") && std::strcmp(std::localeconv()->decimal_point, ",") != 0)
            QSKIP("the de_DE.UTF-8 locale is not installed");
        choose("File", "&New");
        const std::vector<Box> boxes = boxes_shown([] { choose("&Zoom", "&Query Position"); });
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].title, QString("ZQV Position"));
        QCOMPARE(boxes[0].text, QString("midx = 0.265232\nmidy = 0.003061"));
        QCOMPARE(boxes[0].buttons, 1);
    }

    // A left release re-centres on the point under it; a right one does nothing.
    void click_recentres_and_shows_the_point()
    {
        choose("File", "&New");
        QVERIFY(boxes_shown([] { QTest::mouseClick(image_area(), Qt::RightButton, {}, QPoint(100, 50)); }).empty());
        QVERIFY(!stop_timer());

        const PlanePoint point = *map_point(100, 50);
        const std::vector<Box> boxes =
            boxes_shown([] { QTest::mouseClick(image_area(), Qt::LeftButton, {}, QPoint(100, 50)); });
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].title, QString("Error"));
        QCOMPARE(boxes[0].text, QString::asprintf("x=%.16f\ny=%.16f", point.re, point.im));
        QCOMPARE(get_centre().re, point.re);
        QCOMPARE(get_centre().im, point.im);
        QVERIFY(stop_timer());
    }

    // Recording writes ./new.zqv; playing a copy of it back shows the same
    // first picture, and the dialog offers the last chosen file again.
    void new_recorded_then_open_plays_it_back()
    {
        choose("File", "New (&Recorded)");
        const QImage recorded = shown_picture();
        QCOMPARE(QFile("new.zqv").size(), qint64(recording_header_bytes + ring_slots * frame_bytes));
        const QString copy = QDir::current().absoluteFilePath("played.zqv");
        QVERIFY(QFile::copy("new.zqv", copy));

        QStringList filters, offered;
        const auto open_with = [&](const QString& typed) {
            while_modal([] { choose("File", "&Open"); }, [&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                if (!dialog)
                    return;
                filters = dialog->nameFilters();
                offered = dialog->selectedFiles();
                auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                name->clear();
                QTest::keyClicks(name, typed);
                QTest::keyClick(name, Qt::Key_Return);
            });
        };
        open_with(copy);
        QCOMPARE(filters, QStringList({"zoomfiles (*.zqv)"}));
        QCOMPARE(record_mode(), record_playback);
        QCOMPARE(shown_picture(), recorded);

        QVERIFY(QFile::copy("new.zqv", "again.zqv"));
        open_with("again");  // the default suffix completes the name
        QCOMPARE(offered, QStringList({copy}));
        QCOMPARE(shown_picture(), recorded);
    }

    // Runs last: closes the window and ends the event loop with code 0.
    void bugger_off_ends_with_code_0()
    {
        QTimer::singleShot(0, [] { choose("File", "Bugger Off"); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!main_window()->isVisible());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
