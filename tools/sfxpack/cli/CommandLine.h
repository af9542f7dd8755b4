// Reads sfxpack's command line into PackerOptions by the option table: the command,
// then its options and operands. An option's value follows it or is attached to it
// (-j2, -oOUT, --threads=2); "--" ends the options. try's options are sfxtry's: only
// its INSTALLER is picked out here.
#pragma once

#include <string>
#include <vector>

#include "base/WideString.h"
#include "tools/sfxpack/cli/PackerOptions.h"

// Fills options from the arguments after the program name; on a usage error answers
// false with the message in error. --help (-h) among a command's options, and help
// COMMAND, ask for that command's help.
bool ParseCommandLine(const std::vector<WideString>& args, PackerOptions* options, std::string* error);
