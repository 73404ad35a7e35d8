#pragma once

#include <array>
#include <cstddef>

/** What a host should see of the plug-in: its eight parameters and fourteen factory programs, written
    out independently of the plug-in's own tables. Plain C++, so that the unit tests and the module
    tests (which link a JUCE of their own) share one copy.
*/
namespace expected
{
constexpr size_t numParameters = 8;
constexpr size_t numPrograms = 14;

struct Parameter
{
    const char* id;
    const char* name;
    float minimum, maximum, defaultPlain;
};

// In the index order the host sees. Every range is linear.
// clang-format off
constexpr std::array<Parameter, numParameters> parameters { {
    { "launch",    "Launch",      0.0f,   4.0f,  2.0f },
    { "freeTime",  "Free Time",   1.0f,  15.0f,  6.0f },
    { "climb",     "Climb",       1.0f,   4.0f,  2.0f },
    { "jet",       "Jet",         0.0f,   1.0f,  0.5f },
    { "infinity",  "Infinity",    0.0f,   1.0f,  0.0f },
    { "shake",     "Shake",       0.0f,   1.0f,  0.4f },
    { "afterburn", "Afterburn",   0.0f,   1.0f,  0.5f },
    { "gain",      "Output Gain", -24.0f, 6.0f,  0.0f },
    // clang-format on
} };

/** The items of the stepped parameters in step order: item k is the plain value k. */
constexpr std::array<const char*, 5> launchItems { "1 Bar", "2 Bars", "4 Bars", "8 Bars", "Free" };
constexpr std::array<const char*, 2> infinityItems { "Off", "On" };

/** The normalised value of a plain one for the parameter at an index. */
constexpr float normalised (size_t index, float plain)
{
    const auto& p = parameters[index];
    return (plain - p.minimum) / (p.maximum - p.minimum);
}

struct Program
{
    const char* name;
    const char* launchText;
    std::array<float, numParameters> plainValues; // index order
};

// clang-format off
constexpr std::array<Program, numPrograms> programs { {
    { "Runway 4 Bar",    "4 Bars", { 2, 6,    2,    0.5f,  0, 0.4f,  0.5f,  0 } },
    { "Cockpit Panic",   "2 Bars", { 1, 4,    3,    0.8f,  0, 0.9f,  0.85f, 0 } },
    { "Stratosphere",    "8 Bars", { 3, 12,   4,    0.6f,  0, 0.3f,  0.6f,  -1 } },
    { "Infinite Ascent", "8 Bars", { 3, 10,   2,    0.35f, 1, 0.25f, 0.4f,  0 } },
    { "Gentle Liftoff",  "8 Bars", { 3, 8,    1,    0.2f,  0, 0.1f,  0.2f,  -2 } },
    { "Sonic Boom",      "1 Bar",  { 0, 2,    3,    0.9f,  0, 0.7f,  1,     0 } },
    { "Mach 2",          "2 Bars", { 1, 3,    2.5f, 0.55f, 0, 0.6f,  0.75f, 0 } },
    { "Turbulence",      "4 Bars", { 2, 6,    2,    0.7f,  0, 1,     0.6f,  -1 } },
    { "Black Sky",       "8 Bars", { 3, 14,   4,    0.45f, 0, 0.5f,  0.9f,  -2 } },
    { "Escape Velocity", "4 Bars", { 2, 5,    4,    0.65f, 0, 0.55f, 0.8f,  0 } },
    { "Contrail Dream",  "Free",   { 4, 11,   1.5f, 0.3f,  1, 0.15f, 0.3f,  -3 } },
    { "Red Alert",       "1 Bar",  { 0, 1.5f, 2,    1,     0, 0.85f, 0.95f, 0 } },
    { "Orbit Hold",      "Free",   { 4, 15,   3,    0.4f,  1, 0.35f, 0.55f, -1.5f } },
    { "Jet Wash",        "4 Bars", { 2, 7,    2,    0.95f, 0, 0.45f, 0.5f,  -1 } },
    // clang-format on
} };
} // namespace expected
