// The parsed command line of sfxpack.
#pragma once

#include <cstdint>
#include <vector>

#include "base/WideString.h"
#include "package/PackageFormat.h"

// try's --timeout when none is given, in seconds. try's options are sfxtry's to parse:
// the try front hands this to it (SFXPACK_TRY_TIMEOUT_DEFAULT), so that it is written
// here only.
constexpr int32_t kTryDefaultTimeout = 300;

struct PackerOptions {
    enum class Command { kNone, kHelp, kVersion, kCreate, kList, kInfo, kExtract, kVerify, kTry };
    Command command = Command::kNone;
    Command helpTopic = Command::kNone;    // help COMMAND or COMMAND --help; kNone: the whole help
    WideString stub;                       // create --stub
    WideString output;                     // create -o
    WideString directory;                  // extract -C
    WideString package;                    // list, info, extract; try: its INSTALLER, when one is named
    std::vector<WideString> files;         // create: inputs; extract: names or indexes; verify: packages
    std::vector<WideString> tryArguments;  // try: every argument after it, for sfxtry
    bool quiet = false;
    bool verbose = false;
    bool allowSignedStub = false;
    bool force = false;                    // create: pack an installer that could not work
    bool noStub = false;                   // create: a bare package, no default stub
    bool json = false;                     // list, info, verify
    int32_t threads = 0;                   // create -j: deflating threads; 0: one per usable processor
    int32_t level = kDefaultDeflateLevel;  // create --level: zlib's 1 to 9, or 11 (zopfli)
    int32_t iterations = 0;                // create --iterations, zopfli's at level 11; 0: its default
};
