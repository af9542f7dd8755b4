// sfxpack: builds installers and package files, lists, extracts and verifies them.
#include <cstdio>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/Packer.h"
#include "tools/sfxpack/commands/StubLocation.h"
#include "tools/sfxpack/commands/TryCommand.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int RunPacker(const std::vector<WideString>& args) {
    if (IsTryCommand(args)) return RunTry(args);
    PackerOptions options;
    std::string error;
    if (!ParseCommandLine(args, &options, &error)) {
        std::string line = "sfxpack: " + error + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        return kExitUsage;
    }
    const int stub = UseDefaultStub(&options);
    if (stub != kExitOk) return stub;
    return Packer(options).Run();
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
