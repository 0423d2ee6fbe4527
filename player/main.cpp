// Chromola: a colour-music player. The main window plays a playlist and fills
// itself with the colour of what is heard.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fontconfig/fontconfig.h>
#include <xcb/xcb.h>

#include <malloc.h>

#include <cstdio>
#include <thread>

#include "command_line.h"
#include "desktop/desktop_entry.h"
#include "main_window/form1.h"
#include "main_window/player.h"
#include "main_window/quit_signals.h"
#include "main_window/x11_native.h"

int main(int argc, char* argv[]) {
    // Each thread that allocates would otherwise get a heap of its own, a
    // few hundred kilobytes resident each; the player's threads allocate
    // little and seldom.
    mallopt(M_ARENA_MAX, 2);
    // The command line is read before Qt starts, so that --help and
    // --version need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QFile::decodeName(argv[i]);
    }
    const QString program = QFileInfo(QFile::decodeName(argv[0])).fileName();
    const chromola::CommandLine line = chromola::ParseCommandLine(arguments, QDir::currentPath());
    switch (line.action) {
        case chromola::CommandLine::Action::ShowHelp:
            std::fputs(chromola::HelpText(program).toLocal8Bit().constData(), stdout);
            return 0;
        case chromola::CommandLine::Action::ShowVersion:
            std::fputs(chromola::VersionText().toLocal8Bit().constData(), stdout);
            return 0;
        case chromola::CommandLine::Action::Misuse:
            std::fputs(chromola::MisuseText(program, line.unknown).toLocal8Bit().constData(),
                       stderr);
            return 2;
        case chromola::CommandLine::Action::Run:
            break;
    }

    // A start that hands its files to the running player does only that:
    // no sound stream, no X connection, no window.
    chromola::PlayerOptions options;
    options.instanceLockPath = chromola::DefaultInstanceLockPath();
    options.instanceSocketPath = chromola::InstanceSocketBeside(options.instanceLockPath);
    options.instanceClaim =
        chromola::ClaimInstance(options.instanceLockPath, options.instanceSocketPath, line.paths);
    if (options.instanceClaim->exitStatus) {
        return *options.instanceClaim->exitStatus;
    }

    // Qt's own event dispatcher wakes up less often and does less per
    // wake-up than the GLib one; the player has no GLib-based components.
    // Set before the threads below start: the sound server's client library
    // and fontconfig read the environment on them.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }

    // The audio library loads and starts its output on a thread of its own
    // while Qt starts; a missing library is reported once the window could
    // show the message.
    const QString library = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                            QLatin1Char('/') + QLatin1String(chromola::kBassLibraryFileName);
    if (QFileInfo(library).isFile()) {
        options.library = std::make_shared<chromola::BassLibrary>(library);
        options.library->StartAhead(options.outputDevice, chromola::Player::kInitFrequency,
                                    chromola::Player::kExpectedVersion);
    }

    // Qt reads the font configuration the first time the window lays out
    // text, 7-15 ms right before it can show; read on a thread of its own
    // while Qt starts, it is ready by then.
    std::thread fontConfiguration([] { FcInit(); });

    // Qt's options are not the player's: Qt sees the program's name alone,
    // and a file named like one of them is opened as a file.
    int qtArgc = 1;
    // The colour areas and level bars are windows of their own; their
    // neighbours need not be.
    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Chromola"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(chromola::kDesktopEntry));
    QApplication::setWindowIcon(chromola::ChromolaIcon());

    fontConfiguration.join();
    options.openPaths = line.paths;
    chromola::Player player(std::move(options));
    if (const std::optional<int> exitStatus = player.Start()) {
        return *exitStatus;
    }
    player.form().show();
    // The window manager learns of the window now, not once the work queued
    // for the event loop's first pass (the stored track opening) is done.
    if (xcb_connection_t* connection = chromola::X11Connection()) {
        xcb_flush(connection);
    }
    const chromola::QuitOnSignals quitOnSignals([&player] { player.form().close(); });
    return QApplication::exec();
}
