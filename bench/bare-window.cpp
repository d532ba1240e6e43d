// bench-bare-window: a bare Qt window and nothing else, linked against Qt Widgets alone: what
// the memory benchmark holds the program's start against. Like every window of this program it
// shows Chinese in its two typefaces (a serif for 宋体 and a sans for 黑体, Noto CJK where the
// Windows fonts are missing), so the fonts that draw them are loaded, as they are for any such
// window. It runs until it is ended.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    for (const char *family : {"Noto Serif CJK SC", "Noto Sans CJK SC"}) {
        auto *line = new QLabel(QStringLiteral("今天：2026年12月10日 ① 买菜"), &window);
        line->setFont(QFont(QString::fromLatin1(family), 12));
        layout->addWidget(line);
    }
    window.show();
    return QApplication::exec();
}
