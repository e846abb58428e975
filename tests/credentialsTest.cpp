#include "manager/logins/credentials.h"

#include "manager/catalog/config.h"
#include "manager/platform/platformUtils.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pluginManager;

namespace
{
using Texts = std::vector<std::string>;

std::string loginOf(const CredentialStore& store, Channel channel, const std::string& slug)
{
    const auto login = store.get(channel, slug);
    return login.user + ":" + login.password;
}

class CredentialsTest : public ::testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(m_folder.path()); }
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    testSupport::TempFolder m_folder;
};

TEST_F(CredentialsTest, StoreKeysChannelsAndWhenTheFileIsWritten)
{
    const auto& server = urls().buildsServer;
    EXPECT_EQ(CredentialStore::keyFor(Channel::Donators, server + "Foo/donators/"), "donators:foo");
    EXPECT_EQ(CredentialStore::keyFor(Channel::Internal, "Foo"), "internal");

    PlatformUtils::setSettingsFolder(m_folder.file("a/config"));
    CredentialStore store(false);
    store.set(Channel::Donators, " Foo ", {"ann", "old"}, false);
    store.set(Channel::Donators, server + "foo/donators/", {"ann", "new"}, false);
    store.set(Channel::Internal, "alpha", {"team", "hunter2"}, false);
    store.set(Channel::Donators, "Alpha", {"a", "a"}, false);
    store.entries["other:beta"] = {"b", "b"};
    store.clear(Channel::Donators, "bar", false);
    // The public channel has no logins: nothing is stored, forgotten or written for it.
    store.set(Channel::Public, "foo", {"eve", "pw"}, true);
    store.clear(Channel::Public, "foo", true);
    EXPECT_EQ(store.entries.size(), 4u);
    EXPECT_FALSE(m_folder.exists("a"));
    EXPECT_EQ(loginOf(store, Channel::Donators, "FOO"), "ann:new");
    EXPECT_EQ(loginOf(store, Channel::Internal, "beta"), "team:hunter2");
    EXPECT_EQ(loginOf(store, Channel::Public, "foo"), ":");
    EXPECT_EQ(store.getSlugs(Channel::Donators), (Texts{"alpha", "foo"}));
    EXPECT_TRUE(store.getSlugs(Channel::Internal).empty());

    // Forgetting a login that was never stored still writes the file, folder and all.
    store.clear(Channel::Donators, "bar", true);
    EXPECT_EQ(loginOf(CredentialStore(true), Channel::Internal, ""), "team:hunter2");
}

TEST_F(CredentialsTest, WritesTheFileFormatAndReadsItBack)
{
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, false);
    // Incomplete logins are written but not read back.
    store.set(Channel::Donators, "alpha", {"ann", ""}, false);
    store.set(Channel::Donators, "beta", {"", "pw"}, false);
    store.set(Channel::Donators, "foo", {"ann", "s3cret"}, true);
    EXPECT_EQ(m_folder.read("credentials.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<credentials>\r\n"
                                                "  <login key=\"donators:alpha\" user=\"ann\" pw=\"\"/>\r\n"
                                                "  <login key=\"donators:beta\" user=\"\" pw=\"W3k=\"/>\r\n"
                                                "  <login key=\"donators:foo\" user=\"ann\" pw=\"WD1mdn9X\"/>\r\n"
                                                "  <login key=\"internal\" user=\"team\" pw=\"TnpxdHlQMg==\"/>\r\n"
                                                "</credentials>\r\n");
    const CredentialStore loaded(true);
    EXPECT_EQ(loaded.entries.size(), 2u);
    EXPECT_EQ(loginOf(loaded, Channel::Donators, "foo"), "ann:s3cret");
    EXPECT_EQ(loginOf(loaded, Channel::Internal, ""), "team:hunter2");
}

// Of a hand-written file: a plain "password" wins over "pw", the last login of a key wins, and
// elements that are no "login" or lack a key are skipped; a broken file holds no login.
TEST_F(CredentialsTest, LoadRules)
{
    m_folder.write("credentials.xml", "<logins>\n"
                                      "<login key=\"donators:a\" user=\"first\" password=\"one\"/>\n"
                                      "<login key=\"donators:b\" user=\"bob\" password=\"plain\" pw=\"RHptYWg=\"/>\n"
                                      "<login key=\"donators:c\" user=\"cid\" pw=\"not base64!\"/>\n"
                                      "<login user=\"nokey\" password=\"x\"/>\n"
                                      "<Login key=\"donators:e\" user=\"eve\" password=\"x\"/>\n"
                                      "<login key=\"donators:a\" user=\"second\" password=\"two\"/>\n"
                                      "</logins>\n");
    CredentialStore store(true);
    EXPECT_EQ(store.entries.size(), 2u);
    EXPECT_EQ(loginOf(store, Channel::Donators, "a"), "second:two");
    EXPECT_EQ(loginOf(store, Channel::Donators, "b"), "bob:plain");

    m_folder.write("credentials.xml", "<credentials><login key=\"internal\" user=\"team\" password=\"pw\"/>");
    store.load();
    EXPECT_TRUE(store.entries.empty());
}
}
