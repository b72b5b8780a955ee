// The Linux program: the Qt application around the one main window.
#include <QApplication>

#include "qt/window.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    start_program();
    return application.exec();
}
