// End-to-end runs of the program against a server whose answers are taken for what they are: a body
// cut short, a product name that an address cannot hold as it stands, and a system that gives the
// run few threads or none.
#include "support/catalogServer.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::Outcome;
using testSupport::TestServer;

namespace
{
const Credentials fan{"fan", "pw"};
const auto build = CatalogServer::build;

// Aurora has a public build and eight more in its donators folder, whose login is stored; Vireo
// has a public build.
void serveAuroraAndVireo(CatalogServer& s)
{
    s.publicProducts({s.product("Aurora", "aurora"), s.product("Vireo", "vireo")});
    s.publicBuilds({build("Aurora", "VST3", "1.0.0"), build("Vireo", "LV2", "2.0.0")});
    std::vector<std::string> donated;
    for (const char* version : {"1.1.0", "1.2.0", "1.3.0", "1.4.0"})
        for (const char* format : {"VST3", "CLAP"})
            donated.push_back(build("Aurora", format, version));
    s.channelFolder("aurora", Channel::Donators, donated, fan);
}

// What list prints with that site after spoil has had its way with the server.
Outcome listWith(const std::function<void(TestServer&)>& spoil, const testSupport::EnvironmentChanges& more = {})
{
    CatalogServer catalog;
    serveAuroraAndVireo(catalog);
    spoil(catalog.server);
    const testSupport::ProgramRun run{catalog.server.url("/")};
    run.store({{"aurora", fan}});
    return run({"list"}, more).outcome();
}
}

// A body that ends before the size its server announced is no answer: list says what a failed
// request of that source says, and lists no part of it. Each is cut in its middle, where a partial
// list would still have passed for one.
TEST(ServerAnswers, AnAnswerCutShortFailsItsSourceAsAFailedRequestDoes)
{
    const Outcome whole = listWith([](TestServer&) {});
    const std::tuple<const char*, std::string, size_t> sources[] = {
        {"product list", CatalogServer::productList, 40},
        {"donators folder", CatalogServer::folder("aurora", Channel::Donators), 400},
    };
    for (const auto& [name, path, bytes] : sources)
    {
        SCOPED_TRACE(name);
        const Outcome failed = listWith([&path = path](TestServer& server) { server.setStatus(path, 500); });
        EXPECT_NE(failed, whole);
        EXPECT_EQ(listWith([&](TestServer& server) { server.cutOff(path, bytes); }), failed);
    }
}

// A run that the system gives few threads, or none beside its own, lists what a run with any
// number of them lists: the refresh goes on with the threads it gets.
TEST(ServerAnswers, ListUnderALimitOnThreadsPrintsEveryRow)
{
    const auto none = [](TestServer&) {};
    const Outcome unlimited = listWith(none);
    ASSERT_EQ(std::get<0>(unlimited), 0) << std::get<2>(unlimited);
    for (const char* threads : {"0", "1", "2", "5"})
        EXPECT_EQ(listWith(none, {{"VYRPM_TEST_THREADS", threads}}), unlimited) << threads << " threads";
}

// A product name goes into the builds server's address as the one folder it names, escaped where
// an address could not hold it as it stands; a name whose folder would be empty or lead out of the
// builds folder is refused before any request, so its login goes nowhere.
TEST(ServerAnswers, ALoginGoesToTheFolderItsProductNamesOrNowhere)
{
    CatalogServer catalog;
    const std::string refused = "\" cannot name a folder on the builds server: its folder name would be empty or hold "
                                "\".\" or \"..\" between slashes.\n";
    // product, its folder on the server when there is one, what login prints on the error stream
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"Aurora", "aurora", ""}, {"x?y#z", "x?y#z", ""}, {"Two Words", "two words", ""}, {"100%", "100%", ""},
        {"../../up", "", "\"../../up" + refused}, {"a/./b", "", "\"a/./b" + refused}, {"/", "", "\"/" + refused},
    };
    for (const auto& [product, folder, err] : cases)
        if (!folder.empty())
            catalog.channelFolder(folder, Channel::Donators, {build("Aurora", "VST3", "1.0.0")}, fan);
    const testSupport::ProgramRun run{catalog.server.url("/")};
    std::vector<std::string> asked;
    for (const auto& [product, folder, err] : cases)
    {
        SCOPED_TRACE(product);
        EXPECT_EQ(run({"login", "donators", product, "--user", "fan", "--password", "pw"}).outcome(),
                  Outcome(err.empty() ? 0 : 1, err.empty() ? "Login stored\n" : "", err));
        if (!folder.empty())
            asked.push_back(CatalogServer::folder(folder, Channel::Donators));
    }
    EXPECT_EQ(catalog.requestedPaths(), asked);
}
