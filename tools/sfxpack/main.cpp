// sfxpack: builds installers and package files, lists, extracts, verifies and tries them.
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "tools/sfxpack/cli/CommandLine.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/HelpText.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/Commands.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef SFXPACK_VERSION
#define SFXPACK_VERSION "0"
#endif

namespace {

int RunPacker(const std::vector<WideString>& args) {
    PackerOptions options;
    std::string error;
    if (!ParseCommandLine(args, &options, &error)) {
        PrintNote("sfxpack: " + error);
        return kExitUsage;
    }
    using Command = PackerOptions::Command;
    switch (options.command) {
        case Command::kHelp:
            PrintOut(HelpText(options.helpTopic));
            return kExitOk;
        case Command::kVersion:
            PrintOut("sfxpack " SFXPACK_VERSION "\n");
            return kExitOk;
        case Command::kCreate:
            return RunCreate(options);
        case Command::kList:
            return RunList(options);
        case Command::kInfo:
            return RunInfo(options);
        case Command::kExtract:
            return RunExtract(options);
        case Command::kVerify:
            return RunVerify(options);
        case Command::kTry:
            return RunTry(options);
        default:
            return kExitUsage;
    }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<WideString> args;
    for (int i = 1; i < argc; ++i) args.push_back(WideString(argv[i]));
    return RunPacker(args);
}
#else
int main(int argc, char** argv) {
    std::vector<WideString> args;
    for (int i = 1; i < argc; ++i) args.push_back(WideFromUtf8(argv[i]));
    return RunPacker(args);
}
#endif
