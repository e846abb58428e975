#include "changelog/changelog.h"

#include <ostream>
#include <sstream>

namespace changelogLib
{
namespace
{
void writeEntries(std::ostream& out, const std::string& title, const std::vector<std::string>& lines, bool markdown)
{
    if (lines.empty())
        return;

    if (markdown)
        out << "\n### " << title << "\n\n";
    else
        out << "\n" << title << ":\n\n";

    for (const auto& entry : Changelog::getEntries(lines))
    {
        out << "- ";
        if (!entry.tag.empty())
        {
            if (markdown)
                out << "**" << entry.tag << "** ";
            else
                out << "[" << entry.tag << "] ";
        }
        out << entry.text << "\n";
    }
}

std::string releaseText(const Changelog::Release& release, const std::string& product, bool markdown)
{
    std::ostringstream out;

    if (markdown)
        out << "## " << (product.empty() ? "Version " : product + " ") << release.version << "\n";
    else
        out << (product.empty() ? "Version " : product + " Version ") << release.version << "\n";

    for (const auto& [name, lines] : release.globals)
        writeEntries(out, name, lines, markdown);
    writeEntries(out, product, release.lines, markdown);

    return out.str();
}
}

std::vector<Changelog::Entry> Changelog::getEntries(const std::vector<std::string>& lines)
{
    std::vector<Entry> entries;
    for (const auto& line : lines)
    {
        const auto begin = line.find_first_not_of(' ');
        if (begin == std::string::npos)
            continue;
        const auto s = line.substr(begin);

        if (s.compare(0, 2, "- ") != 0)
        {
            // A continuation line joins its bullet's text; any indent it carries was stripped
            // above, so the join reads the same whichever way the text was indented.
            if (entries.empty())
                entries.push_back({{}, s});
            else
                entries.back().text += " " + s;
            continue;
        }

        const auto rest = s.substr(2);
        const auto close = rest.find(']');
        if (!rest.empty() && rest.front() == '[' && close != std::string::npos)
        {
            const auto textBegin = rest.find_first_not_of(' ', close + 1);
            entries.push_back({rest.substr(1, close - 1),
                               textBegin == std::string::npos ? std::string() : rest.substr(textBegin)});
        }
        else
        {
            entries.push_back({{}, rest});
        }
    }
    return entries;
}

std::string Changelog::toText(const Release& release, const std::string& product)
{
    return releaseText(release, product, false);
}

std::string Changelog::toMarkdown(const Release& release, const std::string& product)
{
    return releaseText(release, product, true);
}
}
