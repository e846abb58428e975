#include "manager/http/webAddress.h"
#include "manager/sources/config.h"

namespace pluginManager
{
// The HTTP client's question, answered here because only the sources know the fixed endpoints.
bool builtWithLocalSource()
{
    const Urls& endpoints = urls();
    for (const std::string* address : {&endpoints.releasesApi, &endpoints.publicBuilds, &endpoints.changelog,
                                       &endpoints.buildsServer, &endpoints.buildsMirror, &endpoints.productList})
    {
        if (addressKind(*address, true) == AddressKind::LocalFile)
            return true;
    }
    return false;
}
}
