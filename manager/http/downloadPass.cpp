#include "manager/http/downloadPass.h"

#include "manager/http/httpClient.h"
#include "manager/http/temporaryFile.h"
#include "manager/http/webStream.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"

#include <vector>

namespace pluginManager
{
namespace
{
constexpr int downloadTimeoutMs = 15000;
constexpr int copyBufferSize = 65536;

void reportProgress(const std::function<void(float)>& progress, int64_t written, int64_t total, int& lastPercent)
{
    if (!progress)
        return;
    float fraction = -1.0f;
    int percent = -100;
    if (total > 0)
    {
        fraction = static_cast<float>(written) * (1.0f / static_cast<float>(total));
        percent = static_cast<int>(fraction * 100.0f);
    }
    if (percent != lastPercent)
    {
        progress(fraction);
        lastPercent = percent;
    }
}
}

PassResult downloadPass(const std::string& url, const juce::File& dest, std::string& error,
                        const std::function<void(float)>& progress, const std::shared_ptr<bool>& cancel,
                        const Credentials& login)
{
    int status = 0;
    juce::StringPairArray responseHeaders;
    auto stream = openWebStream(url, requestHeaders(login, false), downloadTimeoutMs, status, responseHeaders, cancel);
    if (isCancelled(cancel))
    {
        error = "Cancelled";
        return PassResult::Failed;
    }
    if (!stream)
    {
        error = "Failed to connect to server";
        Log::write("Download " + url + ": " + error);
        return PassResult::Failed;
    }
    if (isHttpError(status))
    {
        error = httpErrorMessage(status);
        Log::write("Download " + url + ": " + error);
        return PassResult::Failed;
    }

    const auto temp = dest.getSiblingFile(dest.getFileName() + ".downloading");
    TemporaryFile out(temp);
    if (!out.isOpen())
    {
        error = "Failed to create output file";
        return PassResult::Failed;
    }

    const int64_t total = stream->getTotalLength();
    int64_t written = 0;
    int lastPercent = -1;
    bool writeFailed = false;
    std::vector<char> buffer(copyBufferSize);
    while (!stream->isExhausted())
    {
        if (isCancelled(cancel))
        {
            out.close();
            temp.deleteFile();
            error = "Cancelled";
            return PassResult::Failed;
        }
        const int count = stream->read(buffer.data(), copyBufferSize);
        if (count <= 0)
            break;
        // A full disk must not pass for a cut-off (which would ask again) nor for a whole file.
        if (!out.write(buffer.data(), static_cast<size_t>(count)))
        {
            writeFailed = true;
            break;
        }
        written += count;
        reportProgress(progress, written, total, lastPercent);
    }
    const bool closed = out.close();
    if (writeFailed || !closed || temp.getSize() != written)
    {
        temp.deleteFile();
        error = "Failed to write " + pathOf(dest);
        return PassResult::Failed;
    }
    // Without an announced size only the transport can tell that a body (a chunked one) broke off.
    const bool cutOff = total > 0 ? total > written : stream->isError();
    if (cutOff)
    {
        temp.deleteFile();
        error = "The download was cut off";
        Log::write("Download " + url + ": " + error + " after " + std::to_string(written)
                   + (total > 0 ? " of " + std::to_string(total) : std::string()) + " bytes");
        return PassResult::CutOff;
    }
    if (!putInPlace(temp, dest))
    {
        temp.deleteFile();
        error = "Failed to write " + pathOf(dest);
        return PassResult::Failed;
    }
    error.clear();
    return PassResult::Done;
}
}
