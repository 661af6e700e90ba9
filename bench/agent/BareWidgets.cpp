// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(300, 200);
    window.show();
    QTimer::singleShot(0, &app, [] {
        std::printf("ready\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}
