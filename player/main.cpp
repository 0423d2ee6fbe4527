// Chromola: a colour-music player. The main window plays a playlist and fills
// itself with the colour of what is heard.
#include <QApplication>

#include "main_window/form1.h"
#include "main_window/player.h"
#include "main_window/quit_signals.h"

int main(int argc, char* argv[]) {
    // Qt's own event dispatcher wakes up less often and does less per
    // wake-up than the GLib one; the player has no GLib-based components.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    // The colour areas and level bars are windows of their own; their
    // neighbours need not be.
    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Chromola"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/chromola/icon.png")));

    chromola::Player player;
    if (const std::optional<int> exitStatus = player.Start()) {
        return *exitStatus;
    }
    player.form().show();
    const chromola::QuitOnSignals quitOnSignals([&player] { player.form().close(); });
    return QApplication::exec();
}
