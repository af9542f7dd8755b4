// The text of --help, made from the option table, the exit statuses' table and the
// constants behind every limit it names.
#pragma once

#include <string>

#include "tools/sfxpack/cli/PackerOptions.h"

// The whole help for PackerOptions::Command::kNone; else that command's part of it:
// its usage, what it does, and its options.
std::string HelpText(PackerOptions::Command topic = PackerOptions::Command::kNone);
