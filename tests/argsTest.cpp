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

// Only "--" starts an option. After "=", the value is everything after the first "="; else the
// next argument, even when empty or beginning with one dash. A repeated option keeps the last
// value. An option followed by another option or by nothing has no value.
TEST(ArgsGrammar, SplitsPositionalsFromOptionsAndTheirValues)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"list", "-", "--format", "VST3", "-x", "Foo"}, "<list><-><-x><Foo> format:VST3;"},
        {{"--format=VST3=x"}, " format:VST3=x;"}, {{"--user=--x"}, " user:--x;"}, {{"--out="}, " out:;"},
        {{"--=x"}, " :x;"}, {{"--", "list", "x"}, "<x> :list;"},
        {{"--out", "", "--version", "-1", "--product", "-", "install"}, "<install> out:; product:-; version:-1;"},
        {{"--format", "VST3", "--format=CLAP"}, " format:CLAP;"}, {{"--format=CLAP", "--format", ""}, " format:;"},
        {{"--user", "--x"}, "error: Missing value for --user"}, {{"list", "--"}, "error: Missing value for --"},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(outcome(arguments), expected) << testing::PrintToString(arguments);
}

// An empty value is not replaced by the default.
TEST(ArgsQueries, CommandPositionalsAndValues)
{
    Args args;
    std::string error;
    ASSERT_TRUE(Args::parse({"--settings", "/s", "install", "Foo", "--format=", "Bar"}, args, error));
    ASSERT_TRUE(args.takeCommand());
    EXPECT_EQ(args.command + args.positionalAt(0) + args.positionalAt(1) + args.positionalAt(2), "installFooBar");
    EXPECT_EQ(args.get("format", "text") + args.get("settings", "y") + args.get("version", "latest"), "/slatest");
    EXPECT_TRUE(args.has("format") && !args.has("version"));
    EXPECT_FALSE(Args().takeCommand());
}
