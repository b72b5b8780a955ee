// The Qt back end: the main window with its menu, the window bitmap painted
// below the menu bar, the 20 ms animation timer, the mouse, and the
// window-system functions of app/window_system.h.
#include "qt/window.h"

#include <cstring>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QTimer>
#include <QWindow>

#include "app/controller.h"
#include "app/program.h"
#include "app/window_system.h"

namespace zqv {

namespace {

// Stops the animation when the window closes, however it is closed, and
// fits the outer size once a window manager has placed the window.
class MainWindow : public QMainWindow {
protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
};

// Draws the window bitmap at its origin and reports left-button releases.
class ImageArea : public QWidget {
protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

MainWindow* window;
ImageArea* area;
QTimer* timer;
// The coloured display image, top line first; null until the first picture.
QImage window_bitmap;
QString last_recording;
// Whether the window has been placed (and framed) by a window manager yet.
bool placed;

// The program's colour table as the colours of Qt's indexed images.
QList<QRgb> qt_colour_table()
{
    QList<QRgb> table;
    for (const Rgb& colour : colour_table)
        table.append(qRgb(colour.red, colour.green, colour.blue));
    return table;
}

QImage coloured(const DisplayBuffer& image)
{
    static const QList<QRgb> table = qt_colour_table();
    QImage indexed(frame_width, frame_height, QImage::Format_Indexed8);
    indexed.setColorTable(table);
    const std::uint8_t* pixels = image.pixels;
    for (int y = 0; y < frame_height; ++y)  // display row 0 is the bottom line
        std::memcpy(indexed.scanLine(y), pixels + (frame_height - 1 - y) * frame_width, frame_width);
    return indexed.convertToFormat(QImage::Format_RGB32);
}

// Makes the outer size, frame included, 640 x 480 as far as the frame is known.
void fit_outer_size()
{
    const QMargins frame = window->windowHandle()->frameMargins();
    window->resize(window_outer_width - frame.left() - frame.right(),
                   window_outer_height - frame.top() - frame.bottom());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    timer->stop();
    QMainWindow::closeEvent(event);
}

// A window manager's frame is known once it has placed the window, which
// moves it; later moves are the user's and keep the size.
void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (!placed && isVisible()) {
        placed = true;
        fit_outer_size();
    }
}

void ImageArea::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(0, 0, window_bitmap);
    for (const QRect& beyond : QRegion(event->rect()) - QRegion(window_bitmap.rect()))
        painter.fillRect(beyond, palette().window());
}

void ImageArea::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && rect().contains(at))
        on_click(static_cast<std::uint16_t>(at.x()), static_cast<std::uint16_t>(at.y()));
    QWidget::mouseReleaseEvent(event);
}

template <std::size_t count>
void add_menu(const char* title, const MenuItem (&items)[count])
{
    QMenu* menu = window->menuBar()->addMenu(title);
    for (const MenuItem& item : items) {
        const unsigned id = item.id;
        QObject::connect(menu->addAction(item.text), &QAction::triggered, [id] { on_command(id); });
    }
}

}  // namespace

void open_main_window()
{
    window = new MainWindow;
    window->setWindowTitle(program_title);
    add_menu(file_menu_title, file_menu_items);
    add_menu(zoom_menu_title, zoom_menu_items);
    area = new ImageArea;
    // The picture and the background beyond it are painted over whole, not erased first.
    area->setAttribute(Qt::WA_OpaquePaintEvent);
    window->setCentralWidget(area);
    timer = new QTimer(window);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, on_tick);
    window->resize(window_outer_width, window_outer_height);
    window->show();
    fit_outer_size();
    start_program();
}

QMainWindow* main_window()
{
    return window;
}

QWidget* image_area()
{
    return area;
}

void start_timer()
{
    timer->start(timer_period_ms);
}

bool stop_timer()
{
    const bool was_running = timer->isActive();
    timer->stop();
    return was_running;
}

void show_message(const std::string& text, const std::string& title)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, window);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void beep(unsigned, unsigned)
{
    QApplication::beep();
}

void invalidate_window()
{
    area->update();
}

void close_window()
{
    window->close();
}

std::optional<std::string> choose_recording()
{
    QFileDialog dialog(window, QString(), QString(),
                       QString("%1 (%2)").arg(recording_filter_name, recording_filter_pattern));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("zqv");
    if (!last_recording.isEmpty())
        dialog.selectFile(last_recording);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    last_recording = dialog.selectedFiles().first();
    return QFile::encodeName(last_recording).toStdString();
}

void make_window_bitmap(const DisplayBuffer& image)
{
    window_bitmap = coloured(image);
}

void refresh_window_bitmap(const DisplayBuffer& image)
{
    if (!window_bitmap.isNull())
        window_bitmap = coloured(image);
}

}  // namespace zqv
