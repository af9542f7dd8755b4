// The parsed command line of sfxpack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"

struct PackerOptions {
    enum class Command { kNone, kHelp, kVersion, kCreate, kList, kExtract, kVerify, kInfo };
    Command command = Command::kNone;
    WideString stub;                // create --stub
    WideString output;              // create -o
    WideString directory;           // extract -C
    WideString package;             // list, extract, verify, info
    std::vector<WideString> files;  // create: inputs; extract: names or indexes
    bool quiet = false;
    bool verbose = false;
    bool allowSignedStub = false;
    bool force = false;      // create: pack an installer that could not work
    bool noStub = false;     // create: a bare package, no default stub
    bool json = false;       // list, info
    int32_t threads = 0;     // create -j: deflating threads; 0: one per usable processor
    int32_t level = 6;       // create --level: zlib's 1 to 9, or 11 (zopfli)
    int32_t iterations = 0;  // create --iterations, zopfli's at level 11; 0: its default
};

// Fills options from the arguments after the program name; on a usage error
// answers false with the message in error.
bool ParseCommandLine(const std::vector<WideString>& args, PackerOptions* options, std::string* error);
// The text of --help, exit statuses included.
std::string HelpText();
