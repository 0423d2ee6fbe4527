// The floor for the player's start-up and memory: a Qt 6 application that
// shows one empty widget and nothing else, started the way the player starts
// (same platform plugin, same event dispatcher).
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(640, 400);
    window.show();
    return QApplication::exec();
}
