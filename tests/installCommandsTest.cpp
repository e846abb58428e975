// End-to-end runs of install and uninstall: the test build of the program against a loopback
// catalog, with a home folder of its own.
#include "manager/platform/platformUtils.h"
#include "manager/state/installedPlugins.h"

#include "support/catalogServer.h"
#include "support/processRunner.h"
#include "support/programRun.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::ProcessResult;
using testSupport::readFile;
using testSupport::writeFile;
namespace fs = std::filesystem;

namespace
{
using Files = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

const Credentials fan{"fan", "pw"};
const Lines fanLogin = {"--user", "fan", "--password", "pw", "--channel", "donators", "--product", "aurora"};
// The date every channel build is served with, and the same in seconds since 1970.
const char* const channelDate = "Thu, 02 May 2024 09:00:00 GMT";
const char* const channelSeconds = "1714640400";

// A build holds its plug-in, named as this platform names it and telling its own version, and
// whatever else is given.
struct Build
{
    std::string product;
    std::string format;
    std::string version;
    Channel channel = Channel::Public;
    Files extra = {};
};

Files contentOf(const Build& build)
{
    const std::string& name = build.product;
    const std::string tag = name + " " + build.format + " " + build.version;
    Files files = {{build.format == "VST3"   ? name + ".vst3/Contents/" + PlatformUtils::getCurrentArch() + "-linux/" + name + ".so"
                    : build.format == "CLAP" ? name + ".clap"
                    : build.format == "LV2"  ? name + ".lv2/manifest.ttl"
                                             : name,
                    tag}};
    for (const auto& [path, content] : build.extra)
        files.emplace_back(path, content + " " + build.version);
    return files;
}

// Every item below folder, links not followed, with the content of each file.
std::map<std::string, std::string> snapshot(const std::string& folder)
{
    std::map<std::string, std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
    {
        const std::string relative = fs::relative(entry.path(), folder).string();
        items[relative] = entry.is_symlink()     ? "link " + fs::read_symlink(entry.path()).string()
                          : entry.is_directory() ? "folder"
                                                 : readFile(entry.path().string());
    }
    return items;
}

Lines namesIn(const std::string& folder)
{
    Lines names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class InstallCommands : public ::testing::Test
{
protected:
    // The product list entries and the builds of the catalog. A channel build lies in its
    // product's donators folder (the product's id in lower case), behind the login fan, with a
    // product list of its own when channelProducts are given.
    void publish(const Lines& products, const std::vector<Build>& builds, const Lines& channelProducts = {})
    {
        catalog.publicProducts(products);
        Lines publicNames;
        std::map<std::string, Lines> folders;
        for (const Build& build : builds)
        {
            const std::string name = CatalogServer::build(build.product, build.format, build.version);
            const std::string zip = CatalogServer::zip(contentOf(build));
            if (build.channel == Channel::Public)
            {
                publicNames.push_back(name);
                catalog.serveFile(CatalogServer::publicFile(name), zip);
                continue;
            }
            const std::string slug = juce::String(build.product).toLowerCase().toStdString();
            folders[slug].push_back(name);
            catalog.serveFile(CatalogServer::folder(slug, Channel::Donators) + name, zip, channelDate);
        }
        catalog.publicBuilds(publicNames);
        for (const auto& [slug, names] : folders)
            catalog.channelFolder(slug, Channel::Donators, names, fan, channelProducts);
    }

    ProcessResult vyrpm(const std::string& command, Lines arguments = {}, const Lines& more = {}) const
    {
        arguments.insert(arguments.begin(), command);
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(arguments);
    }

    std::string home(const std::string& relative) const { return run.home() + "/" + relative; }
    std::string data(const std::string& relative) const { return home(".local/share/Kestavel/" + relative); }

    // installed.json, one line per record: product, format, version, path, server time and items.
    Lines record() const
    {
        PlatformUtils::setSettingsFolder(run.settingsFolder());
        const InstalledPlugins installed(true);
        PlatformUtils::setSettingsFolder("");
        Lines lines;
        for (InstalledPlugins::Entry entry : installed.entries)
        {
            std::sort(entry.files.begin(), entry.files.end());
            std::string line = entry.product + " " + entry.format + " " + entry.version + " " + entry.path + " " +
                               std::to_string(entry.modified);
            for (const std::string& file : entry.files)
                line += " " + file;
            lines.push_back(line);
        }
        return lines;
    }

    // The log's messages that begin with prefix, without their time stamps and the prefix.
    Lines logged(const std::string& prefix) const
    {
        const std::string text = run.settingsText("log.txt");
        const std::regex stamped(R"(\d{4}-\d\d-\d\dT\S+  ([^\r\n]*))");
        Lines messages;
        for (std::sregex_iterator line(text.begin(), text.end(), stamped), end; line != end; ++line)
        {
            if ((*line)[1].str().rfind(prefix, 0) == 0)
                messages.push_back((*line)[1].str().substr(prefix.size()));
        }
        return messages;
    }

    // Installs 1.0.0 of a VST3 build with several items, lets sabotage spoil the install of 1.1.0,
    // and expects the old plug-in as it was, its record, and nothing left in the temporary folder.
    // sabotage gets the build's top-level items and answers the error line it expects.
    void expectOldPluginKept(const std::function<std::string(const Lines& items)>& sabotage)
    {
        const Files extra = {{"Presets/a.preset", "preset"}, {"Skins/b.skin", "skin"}};
        publish({CatalogServer::product("Aurora", "aurora")},
                {{"Aurora", "VST3", "1.0.0", Channel::Public, extra}, {"Aurora", "VST3", "1.1.0", Channel::Public, extra}});
        ASSERT_EQ(vyrpm("install", {"Aurora", "--version", "1.0.0"}).exitCode, 0);
        const auto before = snapshot(home(".vst3"));
        const std::string error = sabotage({"Aurora.vst3", "Presets", "Skins"});

        const ProcessResult result = vyrpm("install", {"Aurora", "--version", "1.1.0"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, error + "\n");
        EXPECT_EQ(snapshot(home(".vst3")), before);
        EXPECT_EQ(namesIn(run.temporaryFolder()), Lines{});
        EXPECT_EQ(record(), Lines{"Aurora VST3 1.0.0 " + home(".vst3/Aurora.vst3") + " 0 Aurora.vst3 Presets Skins"});
    }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};
}

TEST_F(InstallCommands, EachFormatInstallsInTheCatalogsOrderFromItsBestChannelAndIsRecorded)
{
    // The channel folder's own product list names other additional files than the public one.
    const auto skin = [&](const std::string& name) {
        catalog.serveFile("/extras/" + name, name);
        return R"(, "files": [{"folder": "skins", "urls": [")" + catalog.server.url("/extras/" + name) + R"("]}])";
    };
    // CLAP 1.0.0 is on both channels, VST3 1.1.0 on the donators channel alone.
    publish({CatalogServer::product("Aurora", "aurora", skin("public.skin"))},
            {{"Aurora", "CLAP", "1.0.0", Channel::Donators},
             {"Aurora", "CLAP", "1.0.0"},
             {"Aurora", "VST3", "1.0.0"},
             {"Aurora", "VST3", "1.1.0", Channel::Donators, {{"Aurora presets/a.preset", "preset"}}}},
            {CatalogServer::product("Aurora", "aurora", skin("donators.skin"))});

    const ProcessResult result = vyrpm("install", {"Aurora"}, fanLogin);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Installing Aurora VST3 1.1.0 (donators) to " + home(".vst3") +
                              "\nAurora VST3 1.1.0 installed\n1 additional file installed\n"
                              "Installing Aurora CLAP 1.0.0 (public) to " +
                              home(".clap") + "\nAurora CLAP 1.0.0 installed\n1 additional file installed\n");
    EXPECT_EQ(namesIn(data("Aurora/skins")).size(), 2u);
    EXPECT_EQ(readFile(home(".clap/Aurora.clap")), "Aurora CLAP 1.0.0");
    EXPECT_EQ(readFile(home(".vst3/Aurora presets/a.preset")), "preset 1.1.0");
    const std::string donatorClap = CatalogServer::folder("aurora", Channel::Donators) +
                                    CatalogServer::build("Aurora", "CLAP", "1.0.0");
    EXPECT_EQ(catalog.server.requestCount(donatorClap), 0u);
    EXPECT_TRUE(fs::is_directory(data("Aurora/roms")));

    EXPECT_EQ(record(), (Lines{"Aurora VST3 1.1.0 " + home(".vst3/Aurora.vst3") + " " + channelSeconds +
                                   " Aurora presets Aurora.vst3",
                               "Aurora CLAP 1.0.0 " + home(".clap/Aurora.clap") + " 0 Aurora.clap"}));
}

TEST_F(InstallCommands, WhatCannotBeInstalledIsReportedAndTheOtherFormatsStillInstall)
{
    publish({CatalogServer::product("Aurora", "aurora")},
            {{"Aurora", "VST3", "1.0.0"}, {"Aurora", "VST3", "1.1.0"}, {"Aurora", "CLAP", "1.0.0"}});
    struct Case
    {
        Lines arguments;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"Aurora", "--version", "1.1.0"},
         "Installing Aurora VST3 1.1.0 (public) to " + home(".vst3") + "\nAurora VST3 1.1.0 installed\n",
         "No build of Aurora CLAP 1.1.0 for this platform\n"},
        {{"Aurora", "--format", "LV2"}, "", "No build of Aurora LV2 for this platform\n"},
        {{"Nobody"}, "", "Nothing available for Nobody on this platform\n"},
        {{}, "", "install needs a product\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.err);
        const ProcessResult result = vyrpm("install", c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(InstallCommands, AdditionalFilesAreFetchedOnceAndAgainOnlyWhenTheServersCopyIsNewer)
{
    const std::string skin = catalog.server.url("/extras/Dark.skin");
    const std::string files = R"(, "files": [{"folder": "skins", "urls": [")" + skin + R"(", {"url": ")" +
                              catalog.server.url("/extras/a%20b.bin?size=1#top") + R"(", "path": "sub/"}]}])";
    publish({CatalogServer::product("Aurora", "aurora", files)}, {{"Aurora", "CLAP", "1.0.0"}});
    catalog.serveFile("/extras/a b.bin", "rom", "Wed, 01 May 2024 10:00:00 GMT");

    struct Case
    {
        const char* serverDate;
        std::string skinAfter;
        std::string summary;
    };
    const Case runs[] = {
        {"Wed, 01 May 2024 10:00:00 GMT", "skin from server", "2 additional files installed\n"},
        // The user's edit is younger than the server's copy, so it stays.
        {"Wed, 01 May 2024 10:00:00 GMT", "edited", ""},
        {"Fri, 01 Jan 2100 00:00:00 GMT", "skin from server", "1 additional file installed\n"},
    };
    for (const Case& c : runs)
    {
        SCOPED_TRACE(c.skinAfter + c.serverDate);
        catalog.serveFile("/extras/Dark.skin", "skin from server", c.serverDate);
        const ProcessResult result = vyrpm("install", {"Aurora"});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "Installing Aurora CLAP 1.0.0 (public) to " + home(".clap") +
                                  "\nAurora CLAP 1.0.0 installed\n" + c.summary);
        EXPECT_EQ(readFile(data("Aurora/skins/Dark.skin")), c.skinAfter);
        EXPECT_EQ(readFile(data("Aurora/skins/sub/a b.bin")), "rom");
        writeFile(data("Aurora/skins/Dark.skin"), "edited");
    }
    EXPECT_EQ(catalog.server.requestCount("/extras/a b.bin"), 3u); // one download, then two date checks
}

TEST_F(InstallCommands, AdditionalFilesThatWouldLeaveTheDataFolderAreRefusedAndFailTheRunAfterTheInstall)
{
    const std::string file = catalog.server.url("/extras/x.bin");
    const std::string files = R"(, "files": [)"
                              R"({"folder": "../escape", "urls": [")" + file + R"("]},)"
                              R"({"folder": "/tmp", "urls": [")" + file + R"("]},)"
                              R"({"folder": "linked", "urls": [")" + file + R"("]},)"
                              R"({"folder": "ok", "urls": [)"
                              R"({"url": ")" + file + R"(", "path": "../../x.bin"},)"
                              R"({"url": ")" + file + R"(", "path": "C:/x.bin"},)"
                              R"({"url": ")" + file + R"(", "path": "inner/"},)"
                              R"({"url": ")" + file + R"(", "path": "~/x.bin"},)"
                              R"({"url": ")" + file + R"(", "path": "~x.bin"},)"
                              R"(")" + catalog.server.url("/extras/") + R"(",)"
                              R"(")" + catalog.server.url("/extras/missing.bin") + R"(",)"
                              R"(")" + file + R"("]}])";
    publish({CatalogServer::product("Aurora", "aurora", files)}, {{"Aurora", "CLAP", "1.0.0"}});
    catalog.serveFile("/extras/x.bin", "extra");
    // Links the user (or anyone) left in the data folder lead outside it.
    fs::create_directories(home("outside"));
    fs::create_directories(data("Aurora/ok"));
    fs::create_symlink(home("outside"), data("Aurora/linked"));
    fs::create_symlink(home("outside"), data("Aurora/ok/inner"));

    const ProcessResult result = vyrpm("install", {"Aurora"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "Installing Aurora CLAP 1.0.0 (public) to " + home(".clap") + "\nAurora CLAP 1.0.0 installed\n");
    EXPECT_EQ(result.err, "8 additional files could not be installed: \"../escape\" is not a folder of the product's own\n");
    EXPECT_EQ(logged("Additional file for Aurora: "),
              (Lines{"\"../escape\" is not a folder of the product's own", "\"/tmp\" is not a folder of the product's own",
                     "\"linked\" is not a folder of the product's own", "\"../../x.bin\" is not a path inside ok",
                     "\"C:/x.bin\" is not a path inside ok", "\"inner/x.bin\" is not a path inside ok",
                     catalog.server.url("/extras/") + " does not end in a file name", "missing.bin: HTTP 404"}));
    EXPECT_EQ(readFile(data("Aurora/ok/x.bin")), "extra");
    EXPECT_EQ(readFile(data("Aurora/ok/~/x.bin")), "extra");
    EXPECT_EQ(readFile(data("Aurora/ok/~x.bin")), "extra");
    EXPECT_FALSE(fs::exists(home("x.bin")));
    EXPECT_EQ(namesIn(home("outside")), Lines{});
    EXPECT_FALSE(fs::exists(data("escape")));
    EXPECT_EQ(record(), Lines{"Aurora CLAP 1.0.0 " + home(".clap/Aurora.clap") + " 0 Aurora.clap"});
}

TEST_F(InstallCommands, UninstallOfTwoFormatsInOneFolderKeepsWhatAThirdInstallThereStillLists)
{
    const Files shared = {{"Shared/common.dat", "common"}};
    publish({CatalogServer::product("Aurora", "aurora"), CatalogServer::product("Vireo", "vireo")},
            {{"Aurora", "VST3", "1.0.0", Channel::Public, shared},
             {"Aurora", "CLAP", "1.0.0", Channel::Public, shared},
             {"Vireo", "CLAP", "2.0.0", Channel::Public, shared}});
    const std::string folder = home("plugins");
    ASSERT_EQ(vyrpm("paths", {"VST3", folder}).exitCode, 0);
    ASSERT_EQ(vyrpm("paths", {"CLAP", folder}).exitCode, 0);
    ASSERT_EQ(vyrpm("install", {"Aurora"}).exitCode, 0);
    ASSERT_EQ(vyrpm("install", {"Vireo"}).exitCode, 0);
    writeFile(folder + "/Aurora.vst3/Contents/user.bin", "my rom");

    ProcessResult result = vyrpm("uninstall", {"Aurora"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Aurora VST3 removed\nAurora CLAP removed\n");
    EXPECT_EQ(namesIn(folder).size(), 2u);
    EXPECT_TRUE(fs::exists(folder + "/Vireo.clap"));
    EXPECT_TRUE(fs::exists(folder + "/Shared/common.dat"));
    EXPECT_EQ(readFile(data("Aurora/roms/user.bin")), "my rom");
    EXPECT_EQ(record(), Lines{"Vireo CLAP 2.0.0 " + folder + "/Vireo.clap 0 Shared Vireo.clap"});

    result = vyrpm("uninstall", {"Vireo"});
    EXPECT_EQ(result.out, "Vireo CLAP removed\n");
    EXPECT_EQ(namesIn(folder), Lines{});

    result = vyrpm("uninstall", {"Aurora"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Nothing of Aurora is installed here\n");
}

TEST_F(InstallCommands, UninstallingAStandaloneProgramRemovesItsFolderOnlyWhenNothingElseIsLeftInIt)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "Standalone", "1.0.0"}});
    const std::string folder = home(".local/bin/Aurora");
    // what the user leaves in the program's folder, whether the folder goes
    const std::pair<std::string, bool> cases[] = {{"", true}, {".settings", false}};
    for (const auto& [left, folderGoes] : cases)
    {
        SCOPED_TRACE(left);
        ASSERT_EQ(vyrpm("install", {"Aurora"}).exitCode, 0);
        EXPECT_EQ(readFile(folder + "/Aurora"), "Aurora Standalone 1.0.0");
        if (!left.empty())
            writeFile(folder + "/" + left, "mine");

        const ProcessResult result = vyrpm("uninstall", {"Aurora"});
        EXPECT_EQ(result.out, "Aurora Standalone removed\n");
        EXPECT_EQ(fs::exists(folder), !folderGoes);
        EXPECT_FALSE(fs::exists(folder + "/Aurora"));
    }
}

TEST_F(InstallCommands, ADownloadCutOffTwiceLeavesTheInstalledPluginAndNoTemporaryFile)
{
    const std::string path = CatalogServer::publicFile(CatalogServer::build("Aurora", "VST3", "1.1.0"));
    expectOldPluginKept([&](const Lines&) {
        catalog.server.cutOff(path, 64, 2);
        return std::string("The download was cut off");
    });
    EXPECT_EQ(catalog.server.requestCount(path), 2u);
}

// Root may write anywhere, but even root cannot rename an immutable folder. The folder made so is
// the last item the copy reaches, so the items before it have been replaced by then.
TEST_F(InstallCommands, AnInstallThatFailsMidCopyLeavesTheOldPluginByteForByte)
{
    struct Immutable
    {
        explicit Immutable(std::string path) : path(std::move(path))
        {
            ok = testSupport::runProcess("chattr", {"+i", this->path}).exitCode == 0;
        }
        ~Immutable() { testSupport::runProcess("chattr", {"-i", path}); }
        std::string path;
        bool ok = false;
    };
    fs::create_directories(home("probe"));
    if (!Immutable(home("probe")).ok)
        GTEST_SKIP() << "chattr +i does not work here, and nothing else stops root from replacing a folder";

    std::unique_ptr<Immutable> stuck;
    expectOldPluginKept([&](const Lines& items) {
        // The unpacked build lists its items in the order this file system gives their names.
        const std::string order = home("order");
        for (const std::string& item : items)
            fs::create_directories(order + "/" + item);
        stuck = std::make_unique<Immutable>(home(".vst3/") + namesIn(order).back());
        return "Could not move " + stuck->path + " out of the way.";
    });
}
