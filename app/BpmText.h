#pragma once
// The two conversions between BPM numbers and their texts, the same in every
// front end and independent of the C library's locale.

#include <cstdint>
#include <string>

// Reads a BPM as the dialog does: leading white space skipped, then the
// longest prefix of the form [sign] digits with at most one '.' (digits on at
// least one side) [e|E|d|D [sign] digits]; the rest is ignored. Text that does
// not begin with a number (inf and nan included) gives 0. The decimal point is
// always '.'.
double ParseBpmText(const char* text);

// The BPM as shown: rounded to 10 significant digits, fixed-point, trailing
// zeros removed, and a lone trailing '.' completed to ".0" (120.0, 3.5762789,
// 60000000.0). Values below 0.1 or from 1e10 up use exponent notation, as the
// runtime's _gcvt would.
std::string FormatBpmText(double bpm);

// The shortest BPM text, in fixed-point notation, that ParseBpmText and
// TempoForBpm read back as exactly `tempo` microseconds per quarter note
// (among texts of one length, the nearest to 60000000 / tempo). Empty for a
// tempo outside 1..16777215.
std::string ExactBpmText(std::uint32_t tempo);
