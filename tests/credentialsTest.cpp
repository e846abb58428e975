#include "manager/credentials.h"

#include "manager/config.h"
#include "manager/platformUtils.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

using pluginManager::Channel;
using pluginManager::CredentialStore;
using pluginManager::PlatformUtils;

namespace
{
using Texts = std::vector<std::string>;

// Lets the process create files with every permission bit it asks for, so that a file's mode
// shows how it was created.
class OpenUmask
{
public:
    OpenUmask() : m_previous(::umask(0)) {}
    ~OpenUmask() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

mode_t permissionsOf(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

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

    std::string storePath() const { return m_folder.file("credentials.xml"); }
    std::string storeText() const { return m_folder.read("credentials.xml"); }

    testSupport::TempFolder m_folder;
};

TEST_F(CredentialsTest, StoreKeys)
{
    const auto& server = pluginManager::urls().buildsServer;
    for (const auto& name : Texts{"Foo", "  foo \t", "/FOO/", server + "Foo/donators/", server + "foo/internal/"})
        EXPECT_EQ(CredentialStore::keyFor(Channel::Donators, name), "donators:foo") << name;
    EXPECT_EQ(CredentialStore::keyFor(Channel::Internal, "anything"), "internal");

    CredentialStore store(false);
    store.set(Channel::Donators, " Foo ", {"ann", "old"}, false);
    store.set(Channel::Donators, server + "foo/donators/", {"ann", "new"}, false);
    store.set(Channel::Internal, "alpha", {"team", "hunter2"}, false);
    EXPECT_EQ(store.entries.size(), 2u);
    EXPECT_EQ(loginOf(store, Channel::Donators, "FOO"), "ann:new");
    EXPECT_EQ(loginOf(store, Channel::Donators, "bar"), ":");
    EXPECT_EQ(loginOf(store, Channel::Internal, "beta"), "team:hunter2");
}

TEST_F(CredentialsTest, ChannelsWithoutLoginsDoNothing)
{
    for (const auto channel : {Channel::Public, static_cast<Channel>(7)})
    {
        EXPECT_EQ(CredentialStore::keyFor(channel, "foo"), "");
        CredentialStore store(false);
        store.set(Channel::Donators, "foo", {"ann", "pw"}, false);
        store.set(channel, "foo", {"eve", "pw"}, true);
        store.clear(channel, "foo", true);
        EXPECT_EQ(store.entries.size(), 1u);
        EXPECT_EQ(loginOf(store, channel, "foo"), ":");
        EXPECT_TRUE(store.getSlugs(channel).empty());
        EXPECT_FALSE(m_folder.exists("credentials.xml"));
    }
}

TEST_F(CredentialsTest, SlugsAreTheDonatorFolders)
{
    CredentialStore store(false);
    store.set(Channel::Donators, "zeta", {"z", "z"}, false);
    store.set(Channel::Donators, "", {"empty", "folder"}, false);
    store.set(Channel::Internal, "", {"team", "pw"}, false);
    store.set(Channel::Donators, "Alpha", {"a", "a"}, false);
    store.entries["other:beta"] = {"b", "b"};
    EXPECT_EQ(store.getSlugs(Channel::Donators), (Texts{"alpha", "zeta"}));
    EXPECT_TRUE(store.getSlugs(Channel::Internal).empty());
}

TEST_F(CredentialsTest, WritesOnlyWhenAsked)
{
    PlatformUtils::setSettingsFolder(m_folder.file("a/config"));
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, false);
    store.clear(Channel::Donators, "foo", false);
    EXPECT_FALSE(m_folder.exists("a/config/credentials.xml"));

    // Forgetting a login that was never stored still writes the file, folder and all.
    store.clear(Channel::Donators, "foo", true);
    EXPECT_EQ(loginOf(CredentialStore(true), Channel::Internal, ""), "team:hunter2");
    store.clear(Channel::Internal, "", true);
    EXPECT_TRUE(CredentialStore(true).entries.empty());
}

TEST_F(CredentialsTest, WritesTheFileFormatAndReadsItBack)
{
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, false);
    store.set(Channel::Donators, "foo", {"ann", "s3cret"}, true);
    EXPECT_EQ(storeText(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<credentials>\r\n"
                           "  <login key=\"donators:foo\" user=\"ann\" pw=\"WD1mdn9X\"/>\r\n"
                           "  <login key=\"internal\" user=\"team\" pw=\"TnpxdHlQMg==\"/>\r\n"
                           "</credentials>\r\n");

    const std::string awkward = "p\"w<&>' \xc3\xa4 and more than thirty-six bytes of it";
    store.set(Channel::Internal, "", {"team member", awkward}, true);
    EXPECT_EQ(loginOf(CredentialStore(true), Channel::Internal, ""), "team member:" + awkward);
}

TEST_F(CredentialsTest, IncompleteLoginsAreWrittenButNotReadBack)
{
    CredentialStore store(false);
    store.set(Channel::Donators, "alpha", {"ann", ""}, false);
    store.set(Channel::Donators, "beta", {"", "pw"}, false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, true);
    EXPECT_EQ(store.entries.size(), 3u);
    EXPECT_NE(storeText().find("key=\"donators:alpha\""), std::string::npos);
    EXPECT_NE(storeText().find("key=\"donators:beta\""), std::string::npos);
    EXPECT_EQ(CredentialStore(true).getSlugs(Channel::Donators), Texts{});
}

TEST_F(CredentialsTest, ReadsAFileWrittenByHand)
{
    testSupport::writeFile(storePath(),
                           testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/credentials.xml"));
    CredentialStore store(true);
    EXPECT_EQ(store.entries.size(), 3u);
    EXPECT_EQ(loginOf(store, Channel::Donators, "alpha"), "ann:pw-alpha");
    // "password" wins over "pw", and is masked at the next save.
    EXPECT_EQ(loginOf(store, Channel::Donators, "beta"), "bob:plain-beta");
    EXPECT_EQ(loginOf(store, Channel::Internal, ""), "team:hunter2");
    store.save();
    EXPECT_EQ(storeText().find("plain-beta"), std::string::npos);
    EXPECT_EQ(loginOf(CredentialStore(true), Channel::Donators, "beta"), "bob:plain-beta");
}

TEST_F(CredentialsTest, LoadRules)
{
    m_folder.write("credentials.xml", "<logins>\n"
                                      "<login key=\"donators:a\" user=\"first\" password=\"one\"/>\n"
                                      "<login key=\"donators:b\" user=\"bob\" password=\"\" pw=\"RHptYWg=\"/>\n"
                                      "<login key=\"donators:c\" user=\"cid\" pw=\"not base64!\"/>\n"
                                      "<login key=\"donators:d\" user=\"dan\"/>\n"
                                      "<login user=\"nokey\" password=\"x\"/>\n"
                                      "<other key=\"donators:e\" user=\"eve\" password=\"x\"/>\n"
                                      "<login key=\"donators:a\" user=\"second\" password=\"two\"/>\n"
                                      "</logins>\n");
    CredentialStore store(false);
    EXPECT_TRUE(store.entries.empty());
    store.load();
    EXPECT_EQ(store.entries.size(), 1u);
    EXPECT_EQ(loginOf(store, Channel::Donators, "a"), "second:two");

    m_folder.write("credentials.xml", "<credentials><login key=\"internal\" user=\"team\" password=\"pw\"/>");
    store.load();
    EXPECT_TRUE(store.entries.empty());
}

// Passwords are only masked, so the file must never be readable by others, not even while it
// is being written.
TEST_F(CredentialsTest, TheFileIsOwnerOnlyFromItsFirstByte)
{
    const OpenUmask openUmask;
    m_folder.write("credentials.xml", "<credentials/>");
    ASSERT_EQ(::chmod(storePath().c_str(), 0644), 0);
    // The stale sibling going away shows that the store writes through writePrivateFile.
    m_folder.write("credentials.xml.tmp", "stale");
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, true);
    EXPECT_EQ(permissionsOf(storePath()), 0600);
    EXPECT_FALSE(m_folder.exists("credentials.xml.tmp"));

    // writePrivateFile changes no mode after creating its file, so the mode it leaves is the
    // mode the file had while the text went in, also when a readable sibling was left behind.
    const auto path = m_folder.file("private");
    m_folder.write("private.tmp", "stale and much longer than the new text");
    ASSERT_EQ(::chmod((path + ".tmp").c_str(), 0666), 0);
    ASSERT_TRUE(CredentialStore::writePrivateFile(path, "second"));
    EXPECT_EQ(permissionsOf(path), 0600);
    EXPECT_EQ(testSupport::readFile(path), "second");
}

TEST_F(CredentialsTest, AFailedPrivateWriteLeavesNothingBehind)
{
    EXPECT_FALSE(CredentialStore::writePrivateFile(m_folder.file("missing/private"), "text"));
    // A folder in the file's place cannot be replaced by a rename.
    m_folder.write("taken/inside", "x");
    EXPECT_FALSE(CredentialStore::writePrivateFile(m_folder.file("taken"), "text"));
    EXPECT_EQ(m_folder.read("taken/inside"), "x");
    EXPECT_FALSE(m_folder.exists("taken.tmp"));
}
}
