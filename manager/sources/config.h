#pragma once

// The HTTP client's request limit and the clock of installed detection are compiled in beside the
// endpoints, so whatever defines the one defines the others.
#include "manager/http/requestLimit.h"
#include "manager/platform/clock.h"

#include <string>

namespace pluginManager
{
// The fixed web endpoints that every catalog address is derived from. The three base addresses
// (publicBuilds, buildsServer, buildsMirror) end with "/", and names are appended to them as they
// are, without percent-encoding.
struct Urls
{
    std::string releasesApi;  // the hosting service's release list of the product repository
    std::string publicBuilds; // our web site's own copy of the public release lists
    std::string changelog;    // the public changelog file on the hosting service's raw-file host
    std::string buildsServer; // the builds server: channel folders and the internal product list
    std::string buildsMirror; // the second builds host; only used to recognise login URLs
    std::string productList;  // the public product list on our web site
};

// The one set of endpoints, built on first use and kept to the end of the process. The shipped
// program compiles in fixed addresses; nothing at run time can change them.
const Urls& urls();
}
