#include "cli/args.h"

#include <gtest/gtest.h>

using pluginManager::Args;

namespace
{
// The command in [], each further positional in <>, then each option as " name:value;" as get()
// answers it, or the error.
std::string outcome(const std::vector<std::string>& arguments)
{
    Args args;
    std::string error;
    if (!Args::parse(arguments, args, error))
        return "error: " + error;
    std::string text = args.takeCommand() ? "[" + args.command + "]" : "[]";
    for (size_t index = 0; index < args.positional.size(); ++index)
        text += "<" + args.positionalAt(index) + ">";
    for (const auto& [name, value] : args.options)
        text += " " + name + ":" + args.get(name, "default") + ";";
    return text;
}
}

// Only "--" starts an option. After "=", the value is everything after the first "="; else the
// next argument, even when empty or beginning with one dash. An empty value is no default. A
// repeated option keeps the last value. An option followed by another option or by nothing has
// no value. An argument that is not UTF-8 fails the line, wherever it stands: the framework would
// read it as other characters.
TEST(ArgsGrammar, SplitsTheCommandAndPositionalsFromOptionsAndTheirValues)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"list", "-", "--format", "VST3", "-x", "Foo"}, "[list]<-><-x><Foo> format:VST3;"},
        {{"--format=VST3=x"}, "[] format:VST3=x;"}, {{"--user=--x"}, "[] user:--x;"}, {{"--out="}, "[] out:;"},
        {{"--=x"}, "[] :x;"}, {{"--", "list", "x"}, "[x] :list;"},
        {{"--out", "", "--version", "-1", "--product", "-", "install"}, "[install] out:; product:-; version:-1;"},
        {{"--format", "VST3", "--format=CLAP"}, "[] format:CLAP;"}, {{"--format=CLAP", "--format", ""}, "[] format:;"},
        {{"--user", "--x"}, "error: Missing value for --user"}, {{"list", "--"}, "error: Missing value for --"},
        {{"paths", "CLAP", "/opt/a\xe9" "b/x"}, "error: Could not read argument 3: it is not UTF-8 text"},
        {{"--user", "--x", "--settings", "caf\xc3"}, "error: Could not read argument 4: it is not UTF-8 text"}};
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(outcome(arguments), expected) << testing::PrintToString(arguments);
}
