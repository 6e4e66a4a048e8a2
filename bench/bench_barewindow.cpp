// SPDX-License-Identifier: MIT
// The yardstick for start-up time and memory: a bare Qt Widgets window of the panel's size,
// with nothing in it. Prints "shown" after its first frame and ends.
//
//   bench_barewindow [--text]   --text: one line of text in it, so that the window pays for
//                               Qt's font set-up as every window with text does

#include "firstframe.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char **argv)
{
    startupPhase("main");
    QApplication app(argc, argv);
    startupPhase("QApplication");
    QWidget window;
    window.setFixedSize(497, 560); // the panel's client area, 7455 x 8400 twips
    window.setWindowTitle(QStringLiteral("bare"));
    if (argc > 1 && qstrcmp(argv[1], "--text") == 0)
        new QLabel(QStringLiteral("Connect"), &window);
    new FirstFrame(&window);
    window.show();
    startupPhase("show() returned");
    return app.exec();
}
