#include "cli/output.h"

#include "cli/outputFile.h"
#include "manager/platform/programInfo.h"

#include <iostream>

namespace pluginManager
{
void usage()
{
    std::cout << programName << " " << programVersion << " (headless)\n"
              << "\n"
              << "  vyrpm list [<product>]\n"
              << "  vyrpm install <product> [--format <format>] [--version <version>]\n"
              << "  vyrpm uninstall <product> [--format <format>]\n"
              << "  vyrpm login <internal|donators> [<product>] --user <user> --password <password>\n"
              << "  vyrpm logout <internal|donators> [<product>]\n"
              << "  vyrpm paths [<format> <location>|<format> default]\n"
              << "  vyrpm changelog <product> [--version <version>] [--format text|markdown] [--out <file>]\n"
              << "\n"
              << "--settings <folder> works with any of them, and puts the logins, the locations, the\n"
              << "record of what is installed and the log somewhere other than where this machine keeps\n"
              << "its own.\n"
              << "\n"
              << "list and install take --user/--password for this run only, with --channel (internal by\n"
              << "default) and --product saying which channel the login is for. A login stored by login or\n"
              << "by the GUI is used when none is given.\n"
              << "\n"
              << "list prints one build per line, separated by tabs: product, format, version, channel, and\n"
              << "the version of that format that is installed (empty when none is, or when the format\n"
              << "cannot say - see the notes in installedPlugins).\n";
}

int output(const std::string& text, const std::string& path)
{
    if (path.empty())
    {
        std::cout << text << std::endl;
        return 0;
    }
    if (!writeOutputFile(text, path))
    {
        std::cerr << "Could not write " << path << "\n";
        return 1;
    }
    std::cout << "Written to " << path << std::endl;
    return 0;
}
}
