#include "tools/sfxpack/cli/ProgressBar.h"

#include <cstdio>
#include <cstdlib>

#include "tools/sfxpack/cli/Console.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kMinBar = 10;
constexpr int kMaxBar = 40;
constexpr size_t kStatsColumns = sizeof "100%  42.6 MiB/s  0:00 left" - 1;

// Columns a code point takes: 2 for the wide East Asian ranges and emoji, else 1.
// Erring wide only leaves a column empty; erring narrow would wrap.
int CodePointColumns(uint32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000);
    return wide ? 2 : 1;
}

// Decodes one UTF-8 sequence at text[*at] (the text comes from our own encoder,
// so it is well formed) and advances *at past it.
uint32_t NextCodePoint(const std::string& text, size_t* at) {
    const unsigned char lead = static_cast<unsigned char>(text[*at]);
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    ++*at;
    for (int i = 0; i < extra && *at < text.size(); ++i, ++*at) {
        c = c << 6 | (static_cast<unsigned char>(text[*at]) & 0x3F);
    }
    return c;
}

int Columns(const std::string& text) {
    int columns = 0;
    for (size_t at = 0; at < text.size();) columns += CodePointColumns(NextCodePoint(text, &at));
    return columns;
}

// text cut to at most room columns, with "..." where it was cut.
std::string Fit(const std::string& text, int room) {
    if (Columns(text) <= room) return text;
    const int keep = room > 3 ? room - 3 : room;
    std::string out;
    int columns = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t from = at;
        const int width = CodePointColumns(NextCodePoint(text, &at));
        if (columns + width > keep) break;
        columns += width;
        out.append(text, from, at - from);
    }
    return room > 3 ? out + "..." : out;
}

std::string Rate(double bytesPerSecond) {
    static const char* const units[] = {"B/s", "KiB/s", "MiB/s", "GiB/s"};
    int unit = 0;
    while (bytesPerSecond >= 1024 && unit < 3) {
        bytesPerSecond /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytesPerSecond, units[unit]);
    return text;
}

std::string TimeLeft(double seconds) {
    const unsigned long total = seconds > 359999 ? 359999ul : static_cast<unsigned long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu left", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lu:%02lu left", total / 60, total % 60);
    }
    return text;
}

void WriteErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::string ProgressLine(uint64_t done, uint64_t total, double seconds, const std::string& item,
                         int columns) {
    const int room = columns - 1;
    if (room <= 0) return "";
    const int permille = total == 0 || done >= total ? 1000 : static_cast<int>(done * 1000 / total);
    char percent[16];  // room for any int, so the optimiser sees no truncation
    std::snprintf(percent, sizeof percent, "%3d%%", permille / 10);
    std::string stats = percent;
    // Rate and time left only once there is enough behind them to mean something.
    if (seconds >= 0.2 && done > 0) {
        const double rate = static_cast<double>(done) / seconds;
        stats += "  " + Rate(rate);
        if (done < total) stats += "  " + TimeLeft(static_cast<double>(total - done) / rate);
    }
    std::string line;
    const int statsColumns = static_cast<int>(stats.size() < kStatsColumns ? kStatsColumns : stats.size());
    const int frame = 3;  // "[", "] "
    if (room < frame + kMinBar + statsColumns) {
        line = Fit(stats + (item.empty() ? "" : "  " + item), room);
    } else {
        // Room for the usual rate and time from the start, so the bar keeps its length.
        if (stats.size() < kStatsColumns) stats.resize(kStatsColumns, ' ');
        const int nameRoom = room - frame - kMinBar - statsColumns - 2;
        const std::string name = nameRoom > 0 && !item.empty() ? Fit(item, nameRoom) : std::string();
        const int nameColumns = name.empty() ? 0 : 2 + Columns(name);
        int bar = room - frame - statsColumns - nameColumns;
        if (bar > kMaxBar) bar = kMaxBar;
        const int filled = permille * bar / 1000;
        line = "[" + std::string(static_cast<size_t>(filled), '#') +
               std::string(static_cast<size_t>(bar - filled), '.') + "] " + stats +
               (name.empty() ? "" : "  " + name);
    }
    // Padding overwrites what a longer earlier line left; no escape sequences, so
    // consoles without them show the same.
    return line + std::string(static_cast<size_t>(room - Columns(line)), ' ');
}

int TerminalColumns() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
#else
    struct winsize size;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
    if (const char* text = std::getenv("COLUMNS")) {
        const long columns = std::strtol(text, nullptr, 10);
        if (columns > 0 && columns <= 10000) return static_cast<int>(columns);
    }
    return 80;
}

void ProgressBar::Show(uint64_t done, uint64_t total, const std::string& item) {
    if (!m_enabled) return;
    const Clock::time_point now = Clock::now();
    if (!m_started) {
        m_started = true;
        m_start = now;
    } else if (m_shown && now - m_lastDraw < kRedrawInterval) {
        return;
    }
    m_lastDraw = now;
    m_columns = TerminalColumns();
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    WriteErr("\r" + ProgressLine(done, total, seconds, item, m_columns));
    m_shown = true;
    SetLiveBar(this);
}

void ProgressBar::Finish() {
    if (m_shown && m_columns > 1)
        WriteErr("\r" + std::string(static_cast<size_t>(m_columns - 1), ' ') + "\r");
    m_shown = false;
    if (LiveBar() == this) SetLiveBar(nullptr);
}
