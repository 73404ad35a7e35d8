// Corrects the dsp.ttl that the framework's LV2 helper writes, in place:
//
//  - A stepped parameter's scale points come out as normalised values (item i of n at i / (n - 1)),
//    while its range, its default and every value the wrapper sends or accepts are plain values.
//    Each such point is moved to minimum + value * (maximum - minimum), so a host's menu sends the
//    value the plug-in reads as that item.
//  - With no e-mail or website configured the maintainer's foaf:mbox and foaf:homepage come out as
//    "<>", which a reader resolves to the description file itself; those two lines are dropped.
//
//   vorlan_lv2_fix_description path/to/dsp.ttl

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace
{
std::optional<double> numberAfter (const std::string& line, const std::string& key)
{
    const auto position = line.find (key);

    if (position == std::string::npos)
        return std::nullopt;

    const auto* start = line.c_str() + position + key.size();
    char* end = nullptr;
    const auto value = std::strtod (start, &end);

    if (end == start)
        return std::nullopt;

    return value;
}

std::string formatNumber (double value)
{
    std::ostringstream text;
    text.precision (9);
    text << value;
    return text.str();
}

bool isEmptyContactLine (const std::string& line)
{
    return line == "\t\tfoaf:homepage <> ;" || line == "\t\tfoaf:mbox <> ;";
}

/** One statement about a parameter: from its "plug:..." subject line to the line that ends it. */
struct ParameterBlock
{
    std::vector<std::string> lines;

    int rescaleScalePoints()
    {
        const auto minimum = find ("lv2:minimum ");
        const auto maximum = find ("lv2:maximum ");
        std::vector<size_t> valueLines;

        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find ("rdf:value ") != std::string::npos)
                valueLines.push_back (i);

        if (! minimum || ! maximum || valueLines.empty())
            return 0;

        // Points already in plain values, past 0..1, are left alone.
        for (const auto i : valueLines)
        {
            const auto value = numberAfter (lines[i], "rdf:value ");

            if (! value || *value < 0.0 || *value > 1.0)
                return 0;
        }

        for (const auto i : valueLines)
        {
            const auto normalised = *numberAfter (lines[i], "rdf:value ");
            const auto plain = *minimum + normalised * (*maximum - *minimum);
            const auto prefix = lines[i].substr (0, lines[i].find ("rdf:value "));
            lines[i] = prefix + "rdf:value " + formatNumber (plain) + " ;";
        }

        return (int) valueLines.size();
    }

    std::optional<double> find (const std::string& key) const
    {
        for (const auto& line : lines)
            if (auto value = numberAfter (line, key))
                return value;

        return std::nullopt;
    }
};

bool endsStatement (const std::string& line)
{
    return line.size() >= 2 && line.compare (line.size() - 2, 2, " .") == 0;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: vorlan_lv2_fix_description path/to/dsp.ttl\n";
        return 2;
    }

    const std::string path (argv[1]);
    std::ifstream input (path);

    if (! input)
    {
        std::cerr << "vorlan_lv2_fix_description: cannot read " << path << '\n';
        return 1;
    }

    std::vector<std::string> output;
    std::optional<ParameterBlock> block;
    int movedPoints = 0, droppedLines = 0;

    for (std::string line; std::getline (input, line);)
    {
        if (isEmptyContactLine (line))
        {
            ++droppedLines;
            continue;
        }

        if (! block && line.rfind ("plug:", 0) == 0)
            block.emplace();

        if (! block)
        {
            output.push_back (line);
            continue;
        }

        block->lines.push_back (line);

        if (endsStatement (line))
        {
            movedPoints += block->rescaleScalePoints();
            output.insert (output.end(), block->lines.begin(), block->lines.end());
            block.reset();
        }
    }

    if (block)
        output.insert (output.end(), block->lines.begin(), block->lines.end());

    input.close();
    std::ofstream result (path, std::ios::trunc);

    for (const auto& line : output)
        result << line << '\n';

    if (! result)
    {
        std::cerr << "vorlan_lv2_fix_description: cannot write " << path << '\n';
        return 1;
    }

    std::cout << "vorlan_lv2_fix_description: " << movedPoints << " scale points in plain values, " << droppedLines
              << " empty contact lines dropped\n";
    return 0;
}
