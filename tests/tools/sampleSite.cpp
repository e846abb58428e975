// A stand-in for the maker's web sources outside the test suite: the try-it run and the benchmark
// serve a site they generated on loopback through it.
//
//   vyrpmSampleSite serve <folder> [--login <prefix> <user> <password>]... [--url-file <file>]
//                         [--requests-file <file>]
//
// It answers every path below "/" from the folder (folders with listing pages), asks for the
// Basic login of the longest matching prefix, prints its root address and writes it to the URL
// file, and runs until SIGTERM or SIGINT; then it writes how often each path was requested, one
// "<count> <path>" line per path in order of first arrival, to the requests file.
#include "support/testServer.h"

#include <juce_core/juce_core.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace
{
const char* const usage =
    "usage: vyrpmSampleSite serve <folder> [--login <prefix> <user> <password>]... [--url-file <file>]\n"
    "                              [--requests-file <file>]\n";

struct ServeOptions
{
    std::string folder;
    struct Login
    {
        std::string prefix, user, password;
    };
    std::vector<Login> logins;
    std::string urlFile;
    std::string requestsFile;
};

bool parseServeOptions(int argc, char** argv, ServeOptions& options)
{
    if (argc < 3)
        return false;
    options.folder = argv[2];
    for (int i = 3; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--login" && i + 3 < argc)
        {
            options.logins.push_back({argv[i + 1], argv[i + 2], argv[i + 3]});
            i += 3;
        }
        else if (option == "--url-file" && i + 1 < argc)
            options.urlFile = argv[++i];
        else if (option == "--requests-file" && i + 1 < argc)
            options.requestsFile = argv[++i];
        else
            return false;
    }
    return true;
}

// Written beside its place and renamed, so that a script waiting for the file never reads half of it.
bool writeWhole(const std::string& path, const std::string& text)
{
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

std::string requestRecord(const testSupport::TestServer& server)
{
    std::vector<std::string> order;
    std::map<std::string, int> counts;
    for (const auto& request : server.requests())
        if (counts[request.path]++ == 0)
            order.push_back(request.path);
    std::string record;
    for (const auto& path : order)
        record += std::to_string(counts[path]) + " " + path + "\n";
    return record;
}

int serve(int argc, char** argv)
{
    ServeOptions options;
    if (!parseServeOptions(argc, argv, options) || !juce::File(options.folder).isDirectory())
    {
        std::cerr << usage;
        return 2;
    }
    // Blocked before the server starts its threads, which inherit the mask, so that the signal
    // reaches sigwait below and the record is written however the script stops us.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    testSupport::TestServer server;
    server.serveFolder("/", juce::File(options.folder).getFullPathName().toStdString());
    for (const auto& login : options.logins)
        server.requireLogin(login.prefix, login.user, login.password);
    const std::string root = server.url("/");
    std::cout << root << std::endl;
    if (!options.urlFile.empty() && !writeWhole(options.urlFile, root + "\n"))
    {
        std::cerr << "Could not write " << options.urlFile << "\n";
        return 1;
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    if (!options.requestsFile.empty() && !writeWhole(options.requestsFile, requestRecord(server)))
    {
        std::cerr << "Could not write " << options.requestsFile << "\n";
        return 1;
    }
    return 0;
}
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "serve")
        return serve(argc, argv);
    std::cerr << usage;
    return 2;
}
