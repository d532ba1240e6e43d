// bench-bare-window: a bare Qt window and nothing else, linked against Qt Widgets alone: what
// the memory benchmark holds the program's start against. It runs until it is ended.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    return QApplication::exec();
}
