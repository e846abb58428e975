#pragma once

#include "manager/sources/config.h"

#include <string>

namespace testSupport
{
// Where each endpoint lies below a loopback server's root in the test builds. The hosts of the
// shipped program become path prefixes, so one server can play all of them; the paths after the
// hosts are those of the shipped endpoints. Serve a file at "/" + one of these (+ a name).
namespace loopbackPath
{
inline constexpr const char* releasesApi = "api/repos/morvatek/clavendrome/releases";
inline constexpr const char* publicBuilds = "site/builds/";
inline constexpr const char* changelog = "raw/morvatek/clavendrome/main/doc/changelog.txt";
inline constexpr const char* buildsServer = "server/builds/";
inline constexpr const char* buildsMirror = "mirror/builds/";
inline constexpr const char* productList = "site/installer/plugins.json";
}

// The server path of an endpoint, with a name appended: route(loopbackPath::buildsServer, "x/").
inline std::string route(const char* endpointPath, const std::string& name = "")
{
    return std::string("/") + endpointPath + name;
}

// The endpoints below a server root such as "http://127.0.0.1:4711/" (a missing final "/" is
// added).
inline pluginManager::Urls loopbackUrls(std::string base)
{
    if (base.empty() || base.back() != '/')
        base += '/';
    return {
        base + loopbackPath::releasesApi + "?per_page=100",
        base + loopbackPath::publicBuilds,
        base + loopbackPath::changelog,
        base + loopbackPath::buildsServer,
        base + loopbackPath::buildsMirror,
        base + loopbackPath::productList,
    };
}

// A loopback root where nothing listens (a port below those the system hands out, so no test
// server can take it); every endpoint points there until a test says otherwise, so no test can
// reach beyond this machine.
inline std::string closedLoopbackBase() { return "http://127.0.0.1:9/"; }

// Points every endpoint that urls() hands out below base, for this test process. Call it before
// the code under test runs; it is not meant to race with requests on other threads.
void pointEndpointsAt(const std::string& base);

// Makes every text and date request of this test process give up after milliseconds; 0 restores
// the shipped limit.
void limitTextRequests(int milliseconds);

// The waits before a request is asked again pass at once in this test process; this answers the
// milliseconds they added up to since the last call.
int retryWaitMilliseconds();

// The clock of installed detection stands still in this test process until a test moves it on.
void passTime(int milliseconds);
}
