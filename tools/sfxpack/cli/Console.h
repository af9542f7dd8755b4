// What sfxpack prints: UTF-8 text on stdout, one-line errors on stderr, and the live
// progress bar on stderr when that is a terminal. The console owns the bar on screen:
// every line printed clears it first (the bar comes back with its next drawing), so
// that no caller has to.
#pragma once

#include <string>

#include "base/WideString.h"

class ProgressBar;

void PrintOut(const std::string& text);
// "sfxpack: subject: cause"
void PrintError(const std::string& subject, const std::string& cause);
void PrintError(const WideString& subject, const std::string& cause);
// "sfxpack: subject: warning: cause"; shown with -q too, since it names a likely mistake.
void PrintWarning(const WideString& subject, const std::string& cause);
// A step that -v reports, one line on stderr.
void PrintNote(const std::string& line);
// A name from a package, made safe for a terminal: control characters escaped.
std::string Printable(const WideString& text);
bool StderrIsTerminal();
// The bar on screen, which every line printed clears first; nullptr when none is.
// ProgressBar tells it here as it draws and clears itself.
void SetLiveBar(ProgressBar* bar);
ProgressBar* LiveBar();
