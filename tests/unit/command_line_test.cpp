#include "app/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Action = app::CommandLine::Action;

app::CommandLine parse(std::initializer_list<std::string_view> words) {
    const std::vector<std::string_view> arguments(words);
    return app::parseCommandLine(arguments);
}

std::string describe(std::initializer_list<std::string_view> words) {
    std::string text;
    for (std::string_view word : words) text += " [" + std::string(word) + "]";
    return text.empty() ? " (nothing)" : text;
}

TEST(CommandLine, RunsInTheNamedFolderOrTheCurrentOne) {
    EXPECT_EQ(parse({}).action, Action::Run);
    EXPECT_EQ(parse({}).workFolder, "") << "no --workdir must leave the current directory";

    for (const auto& words : {std::initializer_list<std::string_view>{"--workdir", "保存先/a b"},
                              std::initializer_list<std::string_view>{"--workdir=保存先/a b"}}) {
        const app::CommandLine command = parse(words);
        EXPECT_EQ(command.action, Action::Run) << describe(words);
        EXPECT_EQ(command.workFolder, "保存先/a b") << describe(words);
    }
    // A folder whose name starts with a dash is still the option's value.
    EXPECT_EQ(parse({"--workdir", "-odd"}).workFolder, "-odd");
}

TEST(CommandLine, MenuMarksAMenuStartAndNothingElseDoes) {
    EXPECT_FALSE(parse({}).menuStart);
    EXPECT_FALSE(parse({"--workdir", "x"}).menuStart);
    const app::CommandLine command = parse({"--menu"});
    EXPECT_EQ(command.action, Action::Run);
    EXPECT_TRUE(command.menuStart);
    EXPECT_EQ(command.workFolder, "");
}

TEST(CommandLine, HelpAndVersionWinOverRunningButNotOverAMisuse) {
    EXPECT_EQ(parse({"--help"}).action, Action::ShowHelp);
    EXPECT_EQ(parse({"--version"}).action, Action::ShowVersion);
    EXPECT_EQ(parse({"--workdir", "x", "--help"}).action, Action::ShowHelp);
    EXPECT_EQ(parse({"--version", "--help"}).action, Action::ShowHelp);
    EXPECT_EQ(parse({"--help", "--bogus"}).action, Action::Misuse);
}

TEST(CommandLine, EverythingElseIsAMisuseThatSaysWhat) {
    const struct {
        std::initializer_list<std::string_view> words;
        std::string_view problem;
    } cases[] = {
        {{"--workdir"}, "--workdir needs a folder"},
        {{"--workdir", ""}, "--workdir needs a folder"},
        {{"--workdir="}, "--workdir needs a folder"},
        {{"--workdir", "a", "--workdir", "b"}, "--workdir given twice"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"-h"}, "unknown option -h"},
        {{"--help=1"}, "unknown option --help=1"},
        {{"--workdirx"}, "unknown option --workdirx"},
        {{"picture.x"}, "unexpected argument picture.x"},
        {{"--workdir", "a", "b"}, "unexpected argument b"},
        {{"--menu", "--workdir", "a"}, "--menu and --workdir exclude each other"},
        {{"--workdir=a", "--menu"}, "--menu and --workdir exclude each other"},
        {{"--menu=1"}, "unknown option --menu=1"},
    };
    for (const auto& c : cases) {
        const app::CommandLine command = parse(c.words);
        EXPECT_EQ(command.action, Action::Misuse) << describe(c.words);
        EXPECT_EQ(command.problem, c.problem) << describe(c.words);
    }
}

TEST(CommandLine, HelpStartsWithTheUsageAndVersionNamesTheProgram) {
    const std::string help = app::helpText();
    EXPECT_EQ(help.rfind(std::string(app::kUsage) + "\n", 0), 0u) << help;
    for (std::string_view option : {"--workdir DIR", "--menu", "--help", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << "the help does not explain " << option;
    EXPECT_EQ(help.back(), '\n');
    EXPECT_EQ(app::versionText("1.2.3"), "nukitori 1.2.3");
}

}  // namespace
