#include "changelog/changelog.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace changelogLib
{
namespace
{
const std::set<std::string> g_globalProducts = {"DSP", "Framework", "Patch Manager"};

using Lines = std::vector<std::string>;
using Groups = std::map<std::string, Lines>;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string withoutTrailingColon(const std::string& line)
{
    if (!line.empty() && line.back() == ':')
        return line.substr(0, line.size() - 1);
    return line;
}

bool allDigits(const std::string& text, size_t begin, size_t end)
{
    for (size_t i = begin; i < end; ++i)
        if (!isDigit(text[i]))
            return false;
    return true;
}

// "1.3.5", "2.0.0 beta", "1..x": the two first dots decide, whatever follows them.
std::string parseVersion(const std::string& line)
{
    const auto p1 = line.find('.');
    if (p1 == std::string::npos)
        return {};
    const auto p2 = line.find('.', p1 + 1);
    if (p2 == std::string::npos)
        return {};
    if (!allDigits(line, 0, p1) || !allDigits(line, p1 + 1, p2))
        return {};
    return withoutTrailingColon(line);
}

// "Version " announces a plain three-part number; anything else after it is an ordinary line.
bool isStrictVersion(const std::string& version)
{
    if (version.empty() || !isDigit(version.front()) || version.back() == '.')
        return false;
    int dots = 0;
    for (size_t i = 0; i < version.size(); ++i)
    {
        if (version[i] == '.')
        {
            if (version[i - 1] == '.')
                return false;
            ++dots;
        }
        else if (!isDigit(version[i]))
            return false;
    }
    return dots == 2;
}

std::string parseVersionHeading(const std::string& line)
{
    static const std::string prefix = "Version ";
    if (!startsWith(line, prefix))
        return parseVersion(line);
    auto version = withoutTrailingColon(line.substr(prefix.size()));
    return isStrictVersion(version) ? version : std::string();
}

std::string parseProduct(const std::string& line)
{
    if (line.empty() || line.back() != ':')
        return {};
    const char first = line.front();
    if (!((first >= 'A' && first <= 'Z') || isDigit(first)))
        return {};
    if (!parseVersion(line).empty())
        return {};
    return line.substr(0, line.size() - 1);
}

std::string normalized(const std::string& text)
{
    std::string result;
    for (char c : text)
    {
        if (c == ' ')
            continue;
        result += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return result;
}

// The leading empty lines go in one erase: taken one by one from the front, each would move
// every line after it.
void trim(Lines& lines)
{
    const auto firstUsed = std::find_if(lines.begin(), lines.end(), [](const std::string& line) { return !line.empty(); });
    lines.erase(lines.begin(), firstUsed);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
}

std::string stripped(const std::string& line)
{
    static const char* blanks = " \t\r\n";
    const auto begin = line.find_first_not_of(blanks);
    if (begin == std::string::npos)
        return {};
    const auto end = line.find_last_not_of(blanks);
    return line.substr(begin, end - begin + 1);
}

// Splits the lines at each heading that keyOf recognises, moving them into their groups. A
// repeated heading keeps its first block. Without any usable heading, everything lands under the
// empty key, so text that skips a level is still shown: no line has been moved then.
Groups groupBy(Lines&& lines, const std::function<std::string(const std::string&)>& keyOf)
{
    Groups result;
    std::string currentKey;
    Lines group;

    for (auto& line : lines)
    {
        auto key = keyOf(line);
        if (!key.empty())
        {
            if (!currentKey.empty())
            {
                trim(group);
                result.emplace(currentKey, std::move(group));
                group.clear();
            }
            currentKey = std::move(key);
        }
        else if (!currentKey.empty())
        {
            group.push_back(std::move(line));
        }
    }

    if (!currentKey.empty() && !group.empty())
    {
        trim(group);
        result.emplace(currentKey, std::move(group));
    }

    if (result.empty())
        result.emplace(std::string(), std::move(lines));
    return result;
}

Lines splitLines(const std::string& text)
{
    Lines lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line, '\n'))
        lines.push_back(stripped(line));
    return lines;
}

std::vector<std::string> splitAtSlashes(const std::string& name)
{
    std::vector<std::string> parts;
    size_t begin = 0;
    while (true)
    {
        const auto end = name.find('/', begin);
        auto part = name.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (!part.empty())
            parts.push_back(std::move(part));
        if (end == std::string::npos)
            return parts;
        begin = end + 1;
    }
}

// "Alpha/Beta:" is a change written once for several products.
void spreadSlashSections(Changelog::Sections& sections)
{
    std::vector<std::string> slashNames;
    for (const auto& [name, lines] : sections)
        if (name.find('/') != std::string::npos)
            slashNames.push_back(name);

    for (const auto& name : slashNames)
    {
        const Lines lines = sections[name];
        for (const auto& part : splitAtSlashes(name))
        {
            auto& target = sections[part];
            target.insert(target.end(), lines.begin(), lines.end());
        }
        sections.erase(name);
    }
}

uint64_t toNumber(const std::string& text) { return std::stoull(text, nullptr, 10); }
}

bool Changelog::parse(const std::string& text)
{
    versions.clear();
    products.clear();

    auto lines = splitLines(text);
    if (lines.empty())
        return false;

    // Each line is moved from group to group rather than copied: the text may be as large as the
    // client lets it be. A continuation line is kept as written; the indent that lines it up under
    // its bullet is the writers' to add (changelogFiles.cpp), so that a bullet whose "]" lies far
    // in does not make every line after it as long.
    for (auto& [version, versionLines] : groupBy(std::move(lines), parseVersionHeading))
        versions.emplace(version, groupBy(std::move(versionLines), parseProduct));

    for (auto& [version, sections] : versions)
        spreadSlashSections(sections);

    collectProducts();
    return true;
}

uint64_t Changelog::versionToInt(const std::string& version)
{
    const auto p1 = version.find('.');
    if (p1 == std::string::npos)
        return 0;
    const auto p2 = version.find('.', p1 + 1);
    if (p2 == std::string::npos)
        return 0;
    auto p3 = version.find_first_not_of("0123456789", p2 + 1);
    if (p3 == std::string::npos)
        p3 = version.size();

    try
    {
        const uint64_t major = toNumber(version.substr(0, p1));
        const uint64_t minor = toNumber(version.substr(p1 + 1, p2 - p1 - 1));
        const uint64_t patch = toNumber(version.substr(p2 + 1, p3 - p2 - 1));
        return (major << 32) | (minor << 16) | patch;
    }
    // Out of range included: every caller sorts or compares with the answer and expects a number.
    catch (const std::logic_error& e)
    {
        std::cerr << "Invalid version string '" << version << "': " << e.what() << "\n";
        return 0;
    }
}

bool Changelog::isGlobal(const std::string& name) { return g_globalProducts.count(name) > 0; }

std::string Changelog::findProduct(const std::string& name) const
{
    const auto query = normalized(name);
    std::string best;
    size_t bestLength = 0;

    for (const auto& product : products)
    {
        const auto candidate = normalized(product);
        if (candidate == query)
            return product;
        if (!candidate.empty() && startsWith(query, candidate) && candidate.size() > bestLength)
        {
            best = product;
            bestLength = candidate.size();
        }
    }
    return best;
}

std::vector<Changelog::Release> Changelog::getReleases(const std::string& product) const
{
    std::vector<Release> releases;
    for (const auto& [version, sections] : versions)
    {
        Release release{version, {}, {}};
        bool found = false;
        for (const auto& [name, lines] : sections)
        {
            if (isGlobal(name))
            {
                release.globals.emplace(name, lines);
            }
            else if (!product.empty() && name == product)
            {
                release.lines = lines;
                found = true;
            }
        }
        if (!release.globals.empty() || found)
            releases.push_back(std::move(release));
    }

    std::sort(releases.begin(), releases.end(), [](const Release& a, const Release& b) {
        return versionToInt(a.version) > versionToInt(b.version);
    });
    return releases;
}

void Changelog::dropNewerThan(const std::string& version)
{
    const auto limit = versionToInt(version);
    for (auto it = versions.begin(); it != versions.end();)
    {
        if (versionToInt(it->first) > limit)
            it = versions.erase(it);
        else
            ++it;
    }
    collectProducts();
}

void Changelog::collectProducts()
{
    products.clear();
    for (const auto& [version, sections] : versions)
        for (const auto& [name, lines] : sections)
            if (!name.empty() && !isGlobal(name))
                products.insert(name);
}
}
