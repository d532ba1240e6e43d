#include "aboutbox.h"

#include <QApplication>
#include <QUrl>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    AboutBox box([](const QUrl &url) {
        std::printf("mail: %s\n", qPrintable(url.toString()));
        return true;
    });
    box.show();
    return app.exec();
}
