// Stored logins, and the masked text that shares them.
#include "manager/logins/credentials.h"
#include "manager/logins/loginFile.h"

#include "manager/sources/config.h"

#include "httpFixture.h"

using namespace pluginManager;

namespace
{
// Logins written by hand.
const std::string handWritten = std::string(VYRPM_FIXTURES_DIR) + "/state/";

std::string loginOf(const CredentialStore& store, Channel channel, const std::string& slug)
{
    const auto login = store.get(channel, slug);
    return login.user + ":" + login.password;
}

// The exact file a login makes is checked where the login command stores it.
using CredentialsTest = httpTests::HttpFixture;

// A donators login is kept under its folder's name, the internal one under one key. The public
// channel has no logins: nothing is stored, forgotten or written for it. Forgetting a login that
// was never stored still writes the file, folder and all. Of the hand-written file, a plain
// "password" wins over "pw", the last login of a key wins, and elements that are no "login" or
// lack a key or password are skipped; a broken file holds no login, and one stray byte that is not
// UTF-8 breaks the whole file rather than turning it into other characters.
TEST_F(CredentialsTest, StoreKeysChannelsWhenTheFileIsWrittenAndWhatALoadKeeps)
{
    PlatformUtils::setSettingsFolder(settings.file("a/config"));
    CredentialStore store(false);
    store.set(Channel::Donators, " Foo ", {"ann", "old"}, false, error);
    store.set(Channel::Donators, urls().buildsServer + "Foo/donators/", {"ann", "new"}, false, error);
    store.set(Channel::Internal, "alpha", {"team", "hunter2"}, false, error);
    store.set(Channel::Donators, "Alpha", {"a", "a"}, false, error);
    store.clear(Channel::Donators, "bar", false, error);
    store.set(Channel::Public, "foo", {"eve", "pw"}, true, error);
    store.clear(Channel::Public, "foo", true, error);
    EXPECT_FALSE(settings.exists("a"));
    EXPECT_EQ(loginOf(store, Channel::Donators, "FOO") + loginOf(store, Channel::Internal, "beta") +
                  loginOf(store, Channel::Public, "foo"), "ann:newteam:hunter2:");
    store.entries["other:beta"] = {"b", "b"};
    EXPECT_EQ(store.getSlugs(Channel::Donators), (std::vector<std::string>{"alpha", "foo"}));
    store.clear(Channel::Donators, "bar", true, error);
    EXPECT_EQ(loginOf(CredentialStore(true), Channel::Internal, ""), "team:hunter2");

    settings.write("a/config/credentials.xml", testSupport::readFile(handWritten + "credentials.xml"));
    store.load();
    EXPECT_EQ(store.entries.size(), 2u);
    EXPECT_EQ(loginOf(store, Channel::Donators, "a") + loginOf(store, Channel::Donators, "b"), "second:twobob:plain");
    settings.write("a/config/credentials.xml", "<credentials><login key=\"internal\" user=\"team\" password=\"pw\"/>");
    store.load();
    EXPECT_TRUE(store.entries.empty());
    settings.write("a/config/credentials.xml", "<credentials><!-- \xe9 --><login key=\"internal\" "
                                               "user=\"j\xc3\xa9r\xc3\xb4me\" password=\"pw\"/></credentials>");
    store.load();
    EXPECT_TRUE(store.entries.empty());
}

// Masked values worked out by hand from the mask rule, so that a change of key, order or
// encoding fails here instead of round-tripping with itself.
TEST(LoginFileMask, KnownValues)
{
    const std::string cases[][3] = {
        {"secret", "", "PAQIFws4"}, {"secret", "x", "RHxwb3NA"}, {"", "internal", ""},
        // Masks to zero bytes, which must not end the text; bytes past 127 come back as they were.
        {"Oak", "", "AAAA"}, {"\xff\x80", "", "sOE="},
        // Past 36 bytes the key starts again; the salt repeats every 12.
        {"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGH", "donators:foo",
         "Gz83Ny4WJSp2OnxjT2pnazx2bnA0flBofXptVGZvYiogcWVmakxGQF9lVFU="}};
    for (const auto& [text, salt, hidden] : cases)
        EXPECT_EQ(LoginFile::hide(text, salt) + "|" + LoginFile::reveal(hidden, salt), hidden + "|" + text);
}

// Anything refused leaves the list empty, also when good entries came before the fault.
TEST(LoginFileText, AllOrNothing)
{
    const std::string good = "{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}";
    const std::string v1 = "{\"vyrLogin\": 1, \"logins\": ";
    const auto after = [&](const std::string& bad) { return v1 + "[" + good + ", " + bad + "]}"; };
    const auto padded = [&](size_t size)
    { return v1 + "[" + good + "]" + std::string(size - v1.size() - good.size() - 3, ' ') + "}"; };
    // A text of up to 65536 bytes is read.
    std::vector<SharedLogin> parsed;
    ASSERT_TRUE(LoginFile::parse(padded(65536), parsed) && parsed.size() == 1);
    EXPECT_EQ(parsed[0].slug + parsed[0].user + parsed[0].password, "alphaannpw-alpha");
    const std::string refused[] = {
        padded(65537), "", "[{\"vyrLogin\": 1}]", v1 + "[" + good + "}",
        "{\"vyrLogin\": 2, \"logins\": [" + good + "]}", "{\"logins\": [" + good + "]}",
        "{\"vyrLogin\": 4294967297, \"logins\": [" + good + "]}", v1 + good + "}", v1 + "[]}",
        after("{\"slug\": \"b\", \"user\": \"\", \"pw\": \"XXMyZmlddA==\"}"),
        after("{\"slug\": \"\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}"),
        after("{\"slug\": \"b\", \"user\": \"bob\", \"pw\": \"not base64!\"}"), after("42"),
        // Within the size limit, but nested far too deep for the parser.
        std::string(65023, '[')};
    for (const auto& bad : refused)
    {
        parsed = {{"stale", "stale", "stale"}};
        EXPECT_FALSE(LoginFile::parse(bad, parsed) || !parsed.empty()) << bad.substr(0, 80);
    }
}
}
