// The progress line sfxpack draws on stderr when that is a terminal: bar, percent,
// throughput and time left, fitted to the terminal's width and redrawn at most
// ten times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : m_enabled(enabled) {}
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar() { Finish(); }
    // done of total bytes, with the item being worked on; the console knows it is on
    // screen until Finish.
    void Show(uint64_t done, uint64_t total, const std::string& item);
    // Clears the bar from the screen; the console calls it before any line it prints.
    void Finish();

private:
    using Clock = std::chrono::steady_clock;
    bool m_enabled;
    bool m_started = false;
    bool m_shown = false;
    Clock::time_point m_start;
    Clock::time_point m_lastDraw;
    int m_columns = 0;  // of the line last drawn
};

// The line for done of total bytes after seconds, never wider than columns - 1
// (a full last column would wrap on many terminals), padded to that width.
std::string ProgressLine(uint64_t done, uint64_t total, double seconds, const std::string& item, int columns);
// Width of the terminal on stderr; $COLUMNS when it cannot be asked, else 80.
int TerminalColumns();
