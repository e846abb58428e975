#include "changelog/changelog.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>

namespace changelogLib
{
namespace
{
using Format = Changelog::Format;
using Lines = std::vector<std::string>;

const char* const fence = "```\n";

std::string fixFilename(const std::string& name)
{
    std::string result;
    for (char c : name)
        if (c != ':')
            result += c;
    return result;
}

// A version key is free text after its second dot, so a heading can carry "/" and "..". Such a
// name may go into a sub-folder of the output folder, but never climb out of it.
bool staysInside(const std::string& fileName)
{
    size_t begin = 0;
    while (true)
    {
        const auto end = fileName.find('/', begin);
        const auto part = fileName.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (part == "..")
            return false;
        if (end == std::string::npos)
            return true;
        begin = end + 1;
    }
}

std::string formatHeader(Format format, const std::string& text)
{
    return format == Format::Markdown ? "**" + text + "**" : text;
}

// Continuation lines line up under the text of their bullet, after a "[Tag] " when there is one:
// a bullet's first "]" plus two places, or two without one. The spaces go straight to the file.
void writeLinedUp(std::ostream& out, const Lines& lines)
{
    size_t indent = 0;
    for (const auto& line : lines)
    {
        if (!line.empty() && line.front() == '-')
        {
            const auto bracket = line.find(']');
            indent = bracket == std::string::npos ? 2 : bracket + 2;
        }
        else if (!line.empty())
        {
            std::fill_n(std::ostreambuf_iterator<char>(out), indent, ' ');
        }
        out << line << "\n";
    }
}

bool writeProduct(std::ostream& out, const std::string& name, const Lines& lines, bool separate)
{
    if (lines.empty())
        return false;
    if (separate)
        out << "\n";
    if (!name.empty())
        out << name << ":\n" << "\n";
    writeLinedUp(out, lines);
    return true;
}

void writeReleaseBlock(std::ostream& out, Format format, const std::string& heading, const Changelog::Sections& globals,
                       const std::string& product, const Lines& lines, bool& written)
{
    out << formatHeader(format, heading) << "\n" << "\n";
    if (format == Format::Markdown)
        out << fence;
    for (const auto& [name, globalLines] : globals)
        written = writeProduct(out, name, globalLines, written) || written;
    written = writeProduct(out, product, lines, written) || written;
    if (format == Format::Markdown)
        out << fence;
}

bool openOutput(const std::string& outDir, const std::string& name, std::ofstream& out, std::string& error)
{
    const auto fileName = fixFilename(name);
    const auto path = outDir + fileName;
    if (staysInside(fileName))
        out.open(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
    {
        error = "Failed to create output file '" + path + "'";
        return false;
    }
    return true;
}

std::string releaseHeading(const std::string& product, const std::string& version)
{
    return product.empty() ? "Version " + version : product + " Version " + version;
}
}

bool Changelog::load(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
    {
        error = "Failed to open input file '" + path + "'";
        return false;
    }

    // Read through the stream, not its buffer: a read error (a folder opens but cannot be read)
    // then marks the stream instead of escaping as an exception.
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0)
        text.append(buffer, static_cast<size_t>(in.gcount()));
    if (in.bad())
    {
        error = "Failed to open input file '" + path + "'";
        return false;
    }

    if (!parse(text))
    {
        error = "No lines read from input file";
        return false;
    }
    return true;
}

bool Changelog::writeFiles(const std::string& outDir, Format format, std::string& error) const
{
    for (const auto& [version, sections] : versions)
    {
        Sections globals;
        Sections productSections;
        for (const auto& [name, lines] : sections)
            (isGlobal(name) ? globals : productSections).emplace(name, lines);

        // A shared change concerns every product, even one this version says nothing about.
        if (!globals.empty())
            for (const auto& product : products)
                productSections.emplace(product, Lines());

        for (const auto& [product, lines] : productSections)
        {
            std::ofstream out;
            if (!openOutput(outDir, version + "_" + product + ".txt", out, error))
                return false;
            bool written = false;
            writeReleaseBlock(out, format, releaseHeading(product, version), globals, product, lines, written);
        }

        std::ofstream out;
        if (!openOutput(outDir, version + ".txt", out, error))
            return false;
        out << formatHeader(format, "Version " + version) << "\n" << "\n";
        if (format == Format::Markdown)
            out << fence;
        bool written = false;
        for (const auto& [name, lines] : globals)
            written = writeProduct(out, name, lines, written) || written;
        for (const auto& [name, lines] : productSections)
            written = writeProduct(out, name, lines, written) || written;
        if (format == Format::Markdown)
            out << fence;
    }

    for (const auto& product : products)
    {
        std::ofstream out;
        if (!openOutput(outDir, "changelog_" + product + ".txt", out, error))
            return false;
        bool written = false;
        bool first = true;
        for (const auto& release : getReleases(product))
        {
            if (!first && written)
                out << "\n";
            first = false;
            writeReleaseBlock(out, format, "Version " + release.version, release.globals, product, release.lines,
                              written);
        }
    }
    return true;
}
}
