#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace changelogLib
{
// The maker's changelog: for each released version, the lines written for each product and for
// the components every product shares ("DSP", "Framework", "Patch Manager").
class Changelog
{
public:
    using Sections = std::map<std::string, std::vector<std::string>>;

    // One version as one product sees it: the shared sections of that version and the product's own lines.
    struct Release
    {
        std::string version;
        Sections globals;
        std::vector<std::string> lines;
    };

    // One bullet of a section.
    struct Entry
    {
        std::string tag;
        std::string text;
    };

    enum class Format
    {
        Text = 0,
        Markdown = 1
    };

    // Parsing and queries.
    bool parse(const std::string& text);
    static uint64_t versionToInt(const std::string& version);
    static bool isGlobal(const std::string& name);
    std::string findProduct(const std::string& name) const;
    std::vector<Release> getReleases(const std::string& product) const;
    void dropNewerThan(const std::string& version);
    void collectProducts();

    // Rendering one release for a reader.
    static std::vector<Entry> getEntries(const std::vector<std::string>& lines);
    static std::string toText(const Release& release, const std::string& product);
    static std::string toMarkdown(const Release& release, const std::string& product);

    // Files. outDir must end with a path separator.
    bool load(const std::string& path, std::string& error);
    bool writeFiles(const std::string& outDir, Format format, std::string& error) const;

    // Version key, then section name, then the section's lines as written, without the blanks at
    // either end (the files written line continuation lines up under their bullet's text).
    std::map<std::string, Sections> versions;
    // Every non-empty, non-shared section name over all versions.
    std::set<std::string> products;
};
}
