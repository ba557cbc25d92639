#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
