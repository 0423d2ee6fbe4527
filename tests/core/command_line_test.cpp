// The command line: files, folders and URIs to absolute paths; the options.
#include <gtest/gtest.h>

#include "command_line.h"

namespace chromola {
namespace {

TEST(CommandLine, PathsBecomeAbsoluteAndOptionsAreKnownOrMisused) {
    using Action = CommandLine::Action;
    const std::tuple<QStringList, Action, QStringList, QString> rows[] = {
        {{}, Action::Run, {}, ""},
        {{"a.mp3", "../b/c.ogg", "/x/d/", "file:///x/%D0%B9%20e.wav"},
         Action::Run,
         {"/w/a.mp3", "/b/c.ogg", "/x/d", "/x/й e.wav"},
         ""},
        {{"a.mp3", "--help"}, Action::ShowHelp, {"/w/a.mp3"}, ""},
        {{"-V"}, Action::ShowVersion, {}, ""},
        {{"--", "-h", "--x"}, Action::Run, {"/w/-h", "/w/--x"}, ""},
        {{"a.mp3", "--platform", "-h"}, Action::Misuse, {"/w/a.mp3"}, "--platform"},
        {{"-"}, Action::Misuse, {}, "-"},
    };
    for (const auto& [arguments, action, paths, unknown] : rows) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandLine line = ParseCommandLine(arguments, "/w");
        EXPECT_EQ(line.action, action);
        EXPECT_EQ(line.paths, paths);
        EXPECT_EQ(line.unknown, unknown);
    }
    EXPECT_TRUE(MisuseText("chromola", "--x").contains("--x"));
    EXPECT_TRUE(HelpText("chromola").contains("--version"));
}

}  // namespace
}  // namespace chromola
