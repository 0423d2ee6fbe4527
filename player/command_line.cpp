#include "command_line.h"

#include <QDir>
#include <QUrl>

namespace chromola {

namespace {

QString UsageLine(const QString& program) {
    return QStringLiteral("Использование: %1 [--help] [--version] [ФАЙЛ|ПАПКА]...\n").arg(program);
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder) {
    CommandLine line;
    const QDir current(currentFolder);
    bool options = true;
    for (const QString& argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && argument.startsWith(u'-')) {
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                line.action = CommandLine::Action::ShowHelp;
            } else if (argument == QLatin1String("--version") || argument == QLatin1String("-V")) {
                line.action = CommandLine::Action::ShowVersion;
            } else {
                line.action = CommandLine::Action::Misuse;
                line.unknown = argument;
                return line;  // the first one not understood is the one named
            }
        } else if (!argument.isEmpty()) {
            const QUrl url(argument);
            const QString path = argument.startsWith(QLatin1String("file:")) && url.isLocalFile()
                                     ? url.toLocalFile()
                                     : argument;
            line.paths << QDir::cleanPath(current.absoluteFilePath(path));
        }
    }
    return line;
}

QString HelpText(const QString& program) {
    return UsageLine(program) +
           QStringLiteral(
               "Цветомузыкальный проигрыватель: окно светится цветом звучащей музыки.\n"
               "\n"
               "Файлы и папки заменяют список воспроизведения, и первый файл звучит сразу;\n"
               "из папки берутся все звуковые файлы по порядку имён. Если проигрыватель\n"
               "уже запущен, файлы передаются ему.\n"
               "\n"
               "  -h, --help     показать эту справку и выйти\n"
               "  -V, --version  показать версию и выйти\n");
}

QString VersionText() {
    return QStringLiteral("Chromola " CHROMOLA_VERSION "\n");
}

QString MisuseText(const QString& program, const QString& unknown) {
    return QStringLiteral("%1: неизвестный параметр %2\n").arg(program, unknown) +
           UsageLine(program);
}

}  // namespace chromola
