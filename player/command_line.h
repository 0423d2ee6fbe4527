// The player's command line: files and folders to open, --help and
// --version. Read before Qt starts, so that the answers need no display.
#pragma once

#include <QString>
#include <QStringList>

namespace chromola {

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Misuse };
    Action action = Action::Run;
    QStringList paths;  // absolute; files and folders as given, in order
    QString unknown;    // the option not understood, for Misuse
};

// `arguments` without the program's name. Options come anywhere; "--" ends
// them. A file:// URI stands for its local path; relative paths are taken
// from `currentFolder`.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& currentFolder);

// The texts printed for --help (to standard output) and for an option not
// understood (to standard error, before the exit status 2).
QString HelpText(const QString& program);
QString VersionText();
QString MisuseText(const QString& program, const QString& unknown);

}  // namespace chromola
