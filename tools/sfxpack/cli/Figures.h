// How sfxpack writes figures for people, the same in every command: byte counts grouped
// by thousands (1,234,567), ratios in percent, and sizes in binary units (256 KiB).
#pragma once

#include <cstdint>
#include <string>

// value with a comma between groups of three digits.
std::string Grouped(uint64_t value);
// "1,234,567 bytes", "1 byte".
std::string Bytes(uint64_t count);
// part of whole in percent with one decimal ("19.1%"); "-" when whole is 0.
std::string Ratio(uint64_t part, uint64_t whole);
// bytes in the largest binary unit it is a whole multiple of: "2 GiB", "256 KiB", "7 bytes".
std::string BinarySize(uint64_t bytes);
// text in a column of a table: right-aligned in width columns (left-aligned for a
// negative width), and the two spaces that part it from the next.
std::string Column(const std::string& text, int width);
// The width of a column of grouped byte counts: the largest a package holds.
constexpr int kBytesColumn = 13;
