#include "cli/args.h"

#include <gtest/gtest.h>

using pluginManager::Args;
using pluginManager::Channel;
using pluginManager::parseChannel;

namespace
{
Args parsed(const std::vector<std::string>& arguments)
{
    Args args;
    std::string error;
    EXPECT_TRUE(Args::parse(arguments, args, error)) << error;
    return args;
}

std::string parseError(const std::vector<std::string>& arguments)
{
    Args args;
    std::string error;
    EXPECT_FALSE(Args::parse(arguments, args, error));
    return error;
}

using Options = std::map<std::string, std::string>;
using Texts = std::vector<std::string>;
}

TEST(ArgsGrammar, OnlyDoubleDashStartsAnOption)
{
    const Args args = parsed({"list", "-", "--format", "VST3", "-x", "Foo"});
    EXPECT_EQ(args.positional, (Texts{"list", "-", "-x", "Foo"}));
    EXPECT_EQ(args.options, (Options{{"format", "VST3"}}));
}

TEST(ArgsGrammar, ValueAfterEqualsIsEverythingAfterTheFirstEquals)
{
    EXPECT_EQ(parsed({"--format=VST3=x"}).options, (Options{{"format", "VST3=x"}}));
    EXPECT_EQ(parsed({"--user=--x"}).options, (Options{{"user", "--x"}}));
    EXPECT_EQ(parsed({"--out="}).options, (Options{{"out", ""}}));
    EXPECT_EQ(parsed({"--=x"}).options, (Options{{"", "x"}}));
}

TEST(ArgsGrammar, ValueFromNextArgumentMayBeEmptyOrBeginWithOneDash)
{
    const Args args = parsed({"--out", "", "--version", "-1", "--product", "-", "install"});
    EXPECT_EQ(args.options, (Options{{"out", ""}, {"version", "-1"}, {"product", "-"}}));
    EXPECT_EQ(args.positional, (Texts{"install"}));
}

TEST(ArgsGrammar, OptionWithoutValueFails)
{
    EXPECT_EQ(parseError({"--user", "--x"}), "Missing value for --user");
    EXPECT_EQ(parseError({"--help"}), "Missing value for --help");
    EXPECT_EQ(parseError({"help", "--settings"}), "Missing value for --settings");
    EXPECT_EQ(parseError({"list", "--"}), "Missing value for --");
    // The first error is the one reported.
    EXPECT_EQ(parseError({"--a", "--b"}), "Missing value for --a");
}

TEST(ArgsGrammar, DoubleDashAloneIsAnOptionWithAnEmptyName)
{
    const Args args = parsed({"--", "list", "x"});
    EXPECT_EQ(args.options, (Options{{"", "list"}}));
    EXPECT_EQ(args.positional, (Texts{"x"}));
}

TEST(ArgsGrammar, RepeatedOptionKeepsTheLastValue)
{
    EXPECT_EQ(parsed({"--format", "VST3", "--format=CLAP"}).options, (Options{{"format", "CLAP"}}));
    EXPECT_EQ(parsed({"--format=CLAP", "--format", ""}).options, (Options{{"format", ""}}));
}

TEST(ArgsGrammar, TakeCommandMovesTheFirstPositional)
{
    Args args = parsed({"--settings", "/s", "install", "Foo", "Bar"});
    ASSERT_TRUE(args.takeCommand());
    EXPECT_EQ(args.command, "install");
    EXPECT_EQ(args.positional, (Texts{"Foo", "Bar"}));

    Args onlyOptions = parsed({"--settings", "/s"});
    EXPECT_FALSE(onlyOptions.takeCommand());
    EXPECT_EQ(onlyOptions.command, "");
}

TEST(ArgsQueries, PositionalAtPastTheEndIsEmpty)
{
    Args args = parsed({"install", "Foo"});
    args.takeCommand();
    EXPECT_EQ(args.positionalAt(0), "Foo");
    EXPECT_EQ(args.positionalAt(1), "");
    EXPECT_EQ(args.positionalAt(1000), "");
}

TEST(ArgsQueries, EmptyValueIsNotReplacedByTheDefault)
{
    const Args args = parsed({"--format=", "--out", "x"});
    EXPECT_EQ(args.get("format", "text"), "");
    EXPECT_EQ(args.get("out", "y"), "x");
    EXPECT_EQ(args.get("version", "latest"), "latest");
    EXPECT_TRUE(args.has("format"));
    EXPECT_FALSE(args.has("version"));
}

TEST(ParseChannel, AcceptsTheTwoLoginChannelsOnly)
{
    Channel channel = Channel::Public;
    EXPECT_TRUE(parseChannel("internal", channel));
    EXPECT_EQ(channel, Channel::Internal);
    EXPECT_TRUE(parseChannel("donators", channel));
    EXPECT_EQ(channel, Channel::Donators);

    for (const std::string text : {"public", "Internal", "DONATORS", "", " internal"})
    {
        channel = Channel::Donators;
        EXPECT_FALSE(parseChannel(text, channel)) << text;
        EXPECT_EQ(channel, Channel::Donators) << text;
    }
}
