// A stand-in for the maker's web sources outside the test suite: the try-it run and the benchmark
// serve a site they generated on loopback through it.
//
//   vyrpmSampleSite serve <folder> [--login <prefix> <user> <password>]... [--url-file <file>]
//                         [--requests-file <file>] [--delay <milliseconds>]
//
// It answers every path below "/" from the folder (folders with listing pages), asks for the
// Basic login of the longest matching prefix, answers every request that many milliseconds late
// when a delay is given (as over a real network), prints its root address and writes it to the
// URL file, and runs until SIGTERM or SIGINT; then it writes how often each path was requested,
// one "<count> <path>" line per path in order of first arrival, to the requests file.
#include "support/testServer.h"

#include <juce_core/juce_core.h>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace
{
int usage()
{
    std::cerr << "usage: vyrpmSampleSite serve <folder> [--login <prefix> <user> <password>]... [--url-file <file>]\n"
                 "                              [--requests-file <file>] [--delay <milliseconds>]\n";
    return 2;
}

// Written beside its place and renamed, so that a script waiting for the file never reads half of it.
bool writeWhole(const std::string& path, const std::string& text)
{
    const std::string partial = path + ".part";
    if ((std::ofstream(partial, std::ios::binary) << text).flush() && std::rename(partial.c_str(), path.c_str()) == 0)
        return true;
    std::cerr << "Could not write " << path << "\n";
    return false;
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
    // Blocked before the server starts its threads, which inherit the mask, so that the signal
    // reaches sigwait below and the record is written however the script stops us.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    testSupport::TestServer server;
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile(argv[2]);
    std::string urlFile, requestsFile;
    for (int i = 3; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--login" && i + 3 < argc)
        {
            server.requireLogin(argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 3;
        }
        else if (option == "--url-file" && i + 1 < argc)
            urlFile = argv[++i];
        else if (option == "--requests-file" && i + 1 < argc)
            requestsFile = argv[++i];
        else if (option == "--delay" && i + 1 < argc)
            server.delayAnswers(std::atoi(argv[++i]));
        else
            return usage();
    }
    if (!folder.isDirectory())
        return usage();
    server.serveFolder(folder.getFullPathName().toStdString());
    const std::string root = server.url("/");
    std::cout << root << std::endl;
    if (!urlFile.empty() && !writeWhole(urlFile, root + "\n"))
        return 1;

    int received = 0;
    sigwait(&stopSignals, &received);
    return requestsFile.empty() || writeWhole(requestsFile, requestRecord(server)) ? 0 : 1;
}
}

int main(int argc, char** argv)
{
    return argc > 2 && std::string(argv[1]) == "serve" ? serve(argc, argv) : usage();
}
