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
using pluginManager::Credentials;
using pluginManager::PlatformUtils;

namespace
{
using Slugs = std::vector<std::string>;

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
    if (::stat(path.c_str(), &info) != 0)
        return 07777;
    return info.st_mode & 07777;
}

class CredentialsTest : public ::testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(m_folder.path()); }
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    std::string storePath() const { return m_folder.file("credentials.xml"); }
    std::string storeText() const { return m_folder.read("credentials.xml"); }
    void writeStore(const std::string& logins) const
    {
        m_folder.write("credentials.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<credentials>\n" + logins +
                                              "</credentials>\n");
    }

    testSupport::TempFolder m_folder;
};

void expectLogin(const Credentials& login, const std::string& user, const std::string& password)
{
    EXPECT_EQ(login.user, user);
    EXPECT_EQ(login.password, password);
}

TEST_F(CredentialsTest, EverySpellingOfADonatorFolderReachesOneLogin)
{
    const auto& server = pluginManager::urls().buildsServer;
    for (const std::string& name : Slugs{"Foo", "foo", "  foo \t", "FOO", server + "foo/donators/", server + "Foo/donators",
                                    "/foo/", server + "foo/internal/"})
        EXPECT_EQ(CredentialStore::keyFor(Channel::Donators, name), "donators:foo") << name;

    CredentialStore store(false);
    store.set(Channel::Donators, " Foo ", {"ann", "s3cret"}, false);
    store.set(Channel::Donators, server + "foo/donators/", {"ann", "newer"}, false);
    ASSERT_EQ(store.entries.size(), 1u);
    expectLogin(store.get(Channel::Donators, "foo"), "ann", "newer");
    expectLogin(store.get(Channel::Donators, "bar"), "", "");
    expectLogin(store.get(Channel::Internal, "foo"), "", "");
}

TEST_F(CredentialsTest, TheInternalLoginIgnoresTheProduct)
{
    EXPECT_EQ(CredentialStore::keyFor(Channel::Internal, "anything"), "internal");
    CredentialStore store(false);
    store.set(Channel::Internal, "alpha", {"team", "hunter2"}, false);
    expectLogin(store.get(Channel::Internal, ""), "team", "hunter2");
    store.clear(Channel::Internal, "beta", false);
    EXPECT_TRUE(store.entries.empty());
}

TEST_F(CredentialsTest, ChannelsWithoutLoginsDoNothing)
{
    for (const auto channel : {Channel::Public, static_cast<Channel>(7)})
    {
        EXPECT_EQ(CredentialStore::keyFor(channel, "foo"), "");
        CredentialStore store(false);
        store.set(channel, "foo", {"ann", "pw"}, true);
        EXPECT_TRUE(store.entries.empty());
        expectLogin(store.get(channel, "foo"), "", "");
        store.set(Channel::Donators, "foo", {"ann", "pw"}, false);
        store.clear(channel, "foo", true);
        EXPECT_EQ(store.entries.size(), 1u);
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
    EXPECT_EQ(store.getSlugs(Channel::Donators), (Slugs{"alpha", "zeta"}));
    EXPECT_TRUE(store.getSlugs(Channel::Internal).empty());
}

TEST_F(CredentialsTest, WritesOnlyWhenAsked)
{
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, false);
    store.clear(Channel::Donators, "foo", false);
    EXPECT_FALSE(m_folder.exists("credentials.xml"));

    // Forgetting a login that was never stored still writes the file.
    store.clear(Channel::Donators, "foo", true);
    EXPECT_TRUE(m_folder.exists("credentials.xml"));
    expectLogin(CredentialStore(true).get(Channel::Internal, ""), "team", "hunter2");

    store.clear(Channel::Internal, "", true);
    EXPECT_TRUE(CredentialStore(true).entries.empty());
}

TEST_F(CredentialsTest, WritesTheFileFormat)
{
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, false);
    store.set(Channel::Donators, "foo", {"ann", "s3cret"}, true);
    EXPECT_EQ(storeText(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                           "\r\n"
                           "<credentials>\r\n"
                           "  <login key=\"donators:foo\" user=\"ann\" pw=\"WD1mdn9X\"/>\r\n"
                           "  <login key=\"internal\" user=\"team\" pw=\"TnpxdHlQMg==\"/>\r\n"
                           "</credentials>\r\n");
}

TEST_F(CredentialsTest, RoundTrip)
{
    const std::string awkward = "p\"w<&>' \xc3\xa4 and more than thirty-six bytes of it";
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team member", awkward}, false);
    store.set(Channel::Donators, "alpha", {"ann@example.org", "a"}, true);

    const CredentialStore again(true);
    EXPECT_EQ(again.entries.size(), 2u);
    expectLogin(again.get(Channel::Internal, ""), "team member", awkward);
    expectLogin(again.get(Channel::Donators, "Alpha"), "ann@example.org", "a");
    EXPECT_EQ(storeText().find("password="), std::string::npos);
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

    const CredentialStore again(true);
    ASSERT_EQ(again.entries.size(), 1u);
    EXPECT_EQ(again.entries.count("internal"), 1u);
}

TEST_F(CredentialsTest, ReadsAFileWrittenByHand)
{
    testSupport::writeFile(storePath(),
                           testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/credentials.xml"));
    CredentialStore store(true);
    EXPECT_EQ(store.entries.size(), 3u);
    expectLogin(store.get(Channel::Donators, "alpha"), "ann", "pw-alpha");
    expectLogin(store.get(Channel::Donators, "beta"), "bob", "plain-beta");
    expectLogin(store.get(Channel::Internal, ""), "team", "hunter2");
    EXPECT_EQ(store.getSlugs(Channel::Donators), (Slugs{"alpha", "beta"}));

    // The clear password is masked at the next save.
    store.save();
    EXPECT_EQ(storeText().find("plain-beta"), std::string::npos);
    expectLogin(CredentialStore(true).get(Channel::Donators, "beta"), "bob", "plain-beta");
}

TEST_F(CredentialsTest, LoadRules)
{
    writeStore("<login key=\"donators:a\" user=\"first\" password=\"one\"/>\n"
               "<login key=\"donators:b\" user=\"bob\" password=\"\" pw=\"RHptYWg=\"/>\n"
               "<login key=\"donators:c\" user=\"cid\" pw=\"not base64!\"/>\n"
               "<login key=\"donators:d\" user=\"dan\"/>\n"
               "<login user=\"nokey\" password=\"x\"/>\n"
               "<login key=\"\" user=\"nokey\" password=\"x\"/>\n"
               "<other key=\"donators:e\" user=\"eve\" password=\"x\"/>\n"
               "<login key=\"donators:a\" user=\"second\" password=\"two\"/>\n"
               "<login key=\"strange key\" user=\"sam\" password=\"x\"/>\n");
    CredentialStore store(false);
    EXPECT_TRUE(store.entries.empty());
    store.load();
    EXPECT_EQ(store.entries.size(), 2u);
    expectLogin(store.get(Channel::Donators, "a"), "second", "two");
    EXPECT_EQ(store.entries.count("strange key"), 1u);
}

TEST_F(CredentialsTest, MissingOrBrokenFileGivesAnEmptyStore)
{
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "pw"}, false);
    store.load();
    EXPECT_TRUE(store.entries.empty());

    m_folder.write("credentials.xml", "<credentials><login key=\"internal\" user=\"team\" password=\"pw\"/>");
    EXPECT_TRUE(CredentialStore(true).entries.empty());

    m_folder.write("credentials.xml", "<logins><login key=\"internal\" user=\"team\" password=\"pw\"/></logins>");
    expectLogin(CredentialStore(true).get(Channel::Internal, ""), "team", "pw");
}

TEST_F(CredentialsTest, SaveCreatesTheFolder)
{
    PlatformUtils::setSettingsFolder(m_folder.file("a/b/config"));
    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "pw"}, true);
    expectLogin(CredentialStore(true).get(Channel::Internal, ""), "team", "pw");
}

// Passwords are only masked, so the file must never be readable by others, not even while it
// is being written.
TEST_F(CredentialsTest, TheFileIsOwnerOnly)
{
    const OpenUmask openUmask;
    m_folder.write("credentials.xml", "<credentials/>");
    ASSERT_EQ(::chmod(storePath().c_str(), 0644), 0);
    // The stale sibling going away shows that the store writes through writePrivateFile.
    m_folder.write("credentials.xml.tmp", "stale");
    ASSERT_EQ(::chmod((storePath() + ".tmp").c_str(), 0666), 0);

    CredentialStore store(false);
    store.set(Channel::Internal, "", {"team", "hunter2"}, true);
    EXPECT_EQ(permissionsOf(storePath()), 0600);
    EXPECT_FALSE(m_folder.exists("credentials.xml.tmp"));
    expectLogin(CredentialStore(true).get(Channel::Internal, ""), "team", "hunter2");
}

TEST_F(CredentialsTest, PrivateFilesAreBornOwnerOnly)
{
    // writePrivateFile changes no mode after creating the file, so the mode of what it leaves is
    // the mode the file had while its content was written.
    const OpenUmask openUmask;
    const auto path = m_folder.file("private");
    ASSERT_TRUE(CredentialStore::writePrivateFile(path, "first"));
    EXPECT_EQ(permissionsOf(path), 0600);
    EXPECT_EQ(testSupport::readFile(path), "first");

    // A sibling left readable by an interrupted write is not written into.
    m_folder.write("private.tmp", "stale and much longer than the new text");
    ASSERT_EQ(::chmod((path + ".tmp").c_str(), 0666), 0);
    ASSERT_TRUE(CredentialStore::writePrivateFile(path, "second"));
    EXPECT_EQ(permissionsOf(path), 0600);
    EXPECT_EQ(testSupport::readFile(path), "second");
    EXPECT_FALSE(m_folder.exists("private.tmp"));
}

TEST_F(CredentialsTest, AFailedPrivateWriteLeavesThePreviousFile)
{
    EXPECT_FALSE(CredentialStore::writePrivateFile(m_folder.file("missing/private"), "text"));
    EXPECT_FALSE(m_folder.exists("missing"));

    // A folder in the file's place cannot be replaced by a rename.
    m_folder.write("taken/inside", "x");
    EXPECT_FALSE(CredentialStore::writePrivateFile(m_folder.file("taken"), "text"));
    EXPECT_EQ(m_folder.read("taken/inside"), "x");
    EXPECT_FALSE(m_folder.exists("taken.tmp"));
}
}
