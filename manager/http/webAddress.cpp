#include "manager/http/webAddress.h"

#include <cstring>
#include <strings.h>

namespace pluginManager
{
namespace
{
// Schemes are compared ignoring case, as the transport does.
const char* const webSchemes[] = {"http://", "https://"};

bool beginsWith(const std::string& text, const char* prefix, bool ignoringCase)
{
    const size_t length = std::strlen(prefix);
    if (text.size() < length)
        return false;
    return ignoringCase ? ::strncasecmp(text.c_str(), prefix, length) == 0 : text.compare(0, length, prefix) == 0;
}
}

AddressKind addressKind(const std::string& url, bool localSource)
{
    for (const char* scheme : webSchemes)
    {
        if (beginsWith(url, scheme, true))
            return AddressKind::Web;
    }
    // Exactly as the local reading takes it apart: any other spelling is refused, never passed on.
    if (localSource && beginsWith(url, localAddressPrefix, false))
        return AddressKind::LocalFile;
    return AddressKind::Refused;
}
}
