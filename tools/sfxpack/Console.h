// What sfxpack prints: UTF-8 text on stdout, one-line errors on stderr, and a
// progress bar on stderr when that is a terminal.
#pragma once

#include <cstdint>
#include <string>

#include "base/WideString.h"

void PrintOut(const std::string& text);
// "sfxpack: subject: cause"
void PrintError(const std::string& subject, const std::string& cause);
void PrintError(const WideString& subject, const std::string& cause);
// A name from a package, made safe for a terminal: control characters escaped.
std::string Printable(const WideString& text);
bool StderrIsTerminal();

class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : m_enabled(enabled) {}
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar() { Finish(); }
    // done of total units, with the item being worked on.
    void Show(uint64_t done, uint64_t total, const std::string& item);
    void Finish();

private:
    bool m_enabled;
    bool m_shown = false;
    int m_lastPermille = -1;
    std::string m_lastItem;
};
