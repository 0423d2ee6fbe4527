// Uninstall: removes the settings that the Chromola player keeps.
#include <QApplication>

#include "uinstall.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Uninstall"));
    uninstall::Uinstall window;
    window.show();
    return QApplication::exec();
}
