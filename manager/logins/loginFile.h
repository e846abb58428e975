#pragma once

#include <string>
#include <vector>

namespace pluginManager
{
// The fixed half of the password mask. Its length is the period of the mask.
inline constexpr const char* loginMaskKey = "OakenLanternHall/quietRiverGate/moss";

// One donator login in the shared-login text. The slug is also the salt of its masked password.
struct SharedLogin
{
    std::string slug;
    std::string user;
    std::string password;
};

// Masking of stored passwords and the one-line text that carries donator logins for sharing.
// The mask only keeps a password from a casual look; it is no encryption.
class LoginFile
{
public:
    // The text masked with the fixed key and the salt, as Base64.
    static std::string hide(const std::string& text, const std::string& salt);
    // The clear text of a hidden one; empty when the argument is not valid Base64.
    static std::string reveal(const std::string& base64, const std::string& salt);

    // The shared-login text of the logins, or empty text for an empty list.
    static std::string write(const std::vector<SharedLogin>& logins);
    // Reads a shared-login text. All or nothing: on failure the list is left empty.
    static bool parse(const std::string& text, std::vector<SharedLogin>& logins);
};
}
