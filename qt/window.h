// The Qt back end's main window: its menu, the picture, the animation timer
// and the mouse, and the window-system functions the controller calls.
#pragma once

class QMainWindow;
class QWidget;

namespace zqv {

// Creates and shows the main window and starts the program; the caller then
// runs the application's event loop.
void open_main_window();

QMainWindow* main_window();
// The part of the window below the menu bar where the picture is drawn.
QWidget* image_area();

}  // namespace zqv
