#pragma once

// urls() and the other functions a program defines beside the library.
#include "manager/platform/buildSeams.h"

#include <string>

namespace pluginManager
{
// The fixed web endpoints that every catalog address is derived from. The three base addresses
// (publicBuilds, buildsServer, buildsMirror) end with "/". A product's folder goes below the builds
// server percent-escaped (CatalogSource::channelUrl); other names are appended as they are.
struct Urls
{
    std::string releasesApi;  // the hosting service's release list of the product repository
    std::string publicBuilds; // our web site's own copy of the public release lists
    std::string changelog;    // the public changelog file on the hosting service's raw-file host
    std::string buildsServer; // the builds server: channel folders and the internal product list
    std::string buildsMirror; // the second builds host; only used to recognise login URLs
    std::string productList;  // the public product list on our web site
};
}
