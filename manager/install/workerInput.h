#pragma once

#include <string>
#include <vector>

namespace pluginManager
{
// What the elevated worker accepts from its arguments and from the lists it is handed. The worker
// is the part built to run with more rights than whoever wrote those, so it interprets nothing: a
// path is acted on exactly as it stands or not at all, and a list that is not plainly what the
// requesting side writes is refused whole, before anything is done.
class WorkerInput
{
public:
    WorkerInput() = delete;

    // A full path, in UTF-8, with no "." or ".." part; "~" is an ordinary name. false with error
    // for the first path that is not one.
    static bool checkPaths(const std::vector<std::string>& paths, std::string& error);
    // The lines of a job file or removal list; a line ends at LF, CRLF or CR. A file that cannot be
    // opened reads as no lines. false with error when something other than a regular file stands
    // there (a FIFO would hold the worker), or the file is larger than any list the requesting side
    // writes, or is not UTF-8 text without NUL bytes.
    static bool readLines(const std::string& path, std::vector<std::string>& lines, std::string& error);
};
}
