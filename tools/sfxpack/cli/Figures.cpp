#include "tools/sfxpack/cli/Figures.h"

#include <cstdio>

std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

std::string Bytes(uint64_t count) {
    return Grouped(count) + (count == 1 ? " byte" : " bytes");
}

std::string Ratio(uint64_t part, uint64_t whole) {
    if (whole == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%",
                  100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

std::string BinarySize(uint64_t bytes) {
    static const char* const units[] = {"KiB", "MiB", "GiB"};
    if (bytes == 0 || bytes % 1024 != 0) return Bytes(bytes);
    int unit = 0;
    bytes /= 1024;
    while (unit < 2 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return Grouped(bytes) + " " + units[unit];
}

std::string Column(const std::string& text, int width) {
    const size_t room = static_cast<size_t>(width < 0 ? -width : width);
    const std::string pad(text.size() < room ? room - text.size() : 0, ' ');
    return (width < 0 ? text + pad : pad + text) + "  ";
}
