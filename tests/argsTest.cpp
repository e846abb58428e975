#include "cli/args.h"

#include <gtest/gtest.h>

using pluginManager::Args;

namespace
{
// Each positional in <>, then each option as " name:value;", or the error.
std::string outcome(const std::vector<std::string>& arguments)
{
    Args args;
    std::string error, text;
    if (!Args::parse(arguments, args, error))
        return "error: " + error;
    for (const std::string& positional : args.positional)
        text += "<" + positional + ">";
    for (const auto& [name, value] : args.options)
        text += " " + name + ":" + value + ";";
    return text;
}
}

TEST(ArgsGrammar, SplitsPositionalsFromOptionsAndTheirValues)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        // Only "--" starts an option.
        {{"list", "-", "--format", "VST3", "-x", "Foo"}, "<list><-><-x><Foo> format:VST3;"},
        // After "=", the value is everything after the first "=".
        {{"--format=VST3=x"}, " format:VST3=x;"},
        {{"--user=--x"}, " user:--x;"},
        {{"--out="}, " out:;"},
        {{"--=x"}, " :x;"},
        // The next argument is the value, even when empty or beginning with one dash.
        {{"--out", "", "--version", "-1", "--product", "-", "install"}, "<install> out:; product:-; version:-1;"},
        {{"--", "list", "x"}, "<x> :list;"},
        // A repeated option keeps the last value.
        {{"--format", "VST3", "--format=CLAP"}, " format:CLAP;"},
        {{"--format=CLAP", "--format", ""}, " format:;"},
        // An option followed by another option or by nothing has no value; the first such one is reported.
        {{"--user", "--x"}, "error: Missing value for --user"},
        {{"list", "--"}, "error: Missing value for --"},
        {{"--a", "--b"}, "error: Missing value for --a"},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(outcome(arguments), expected) << testing::PrintToString(arguments);
}

TEST(ArgsQueries, CommandPositionalsAndValues)
{
    Args args, onlyOptions;
    std::string error;
    ASSERT_TRUE(Args::parse({"--settings", "/s", "install", "Foo", "--format=", "Bar"}, args, error));
    ASSERT_TRUE(args.takeCommand());
    EXPECT_EQ(args.command, "install");
    EXPECT_EQ(args.positionalAt(0) + args.positionalAt(1) + args.positionalAt(2), "FooBar");
    // An empty value is not replaced by the default.
    EXPECT_EQ(args.get("format", "text") + args.get("settings", "y") + args.get("version", "latest"), "/slatest");
    EXPECT_TRUE(args.has("format") && !args.has("version"));

    ASSERT_TRUE(Args::parse({"--settings", "/s"}, onlyOptions, error));
    EXPECT_FALSE(onlyOptions.takeCommand());
    EXPECT_EQ(onlyOptions.command, "");
}
