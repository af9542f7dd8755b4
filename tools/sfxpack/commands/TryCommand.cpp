#include "tools/sfxpack/commands/TryCommand.h"

#include <string>

#include "base/Utf8.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"

#ifndef _WIN32
#include <unistd.h>

#include <cstdlib>

#include "file/RunningModulePath.h"
#endif

bool IsTryCommand(const std::vector<WideString>& args) {
    return !args.empty() && args[0] == u"try";
}

namespace {

bool AsksForHelp(const std::vector<WideString>& args) {
    for (size_t i = 1; i < args.size() && !(args[i] == u"--"); ++i)
        if (args[i] == u"--help" || args[i] == u"-h") return true;
    return false;
}

}  // namespace

#ifdef _WIN32

int RunTry(const std::vector<WideString>& args) {
    if (AsksForHelp(args)) {
        PrintOut(HelpText());
        return kExitOk;
    }
    PrintError(std::string("try"),
               "runs installers under Wine and is for Linux; on Windows, run the installer");
    return kExitUsage;
}

#else

namespace {

struct Needed {
    const char* program;
    const char* package;
};

// What try runs, and the Debian package that brings each.
const Needed kNeeded[] = {{"python3", "python3"}, {"wine", "wine"}, {"wineboot", "wine"},
                          {"wineserver", "wine"}, {"Xvfb", "xvfb"}, {"import", "imagemagick"}};

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (access(((folder.empty() ? "." : folder) + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Names what is missing and the packages to install; true when nothing is.
bool HasWhatTryRuns() {
    std::string programs, packages;
    auto missing = [&](const std::string& what, const std::string& package) {
        programs += (programs.empty() ? "" : ", ") + what;
        if (packages.find(package) == std::string::npos) packages += " " + package;
    };
    for (const Needed& needed : kNeeded)
        if (!OnPath(needed.program)) missing(needed.program, needed.package);
    // Debian's wine runs 32-bit programs (the installer is one) with the loader of wine32.
    if (access("/usr/lib/wine", F_OK) == 0 && access("/usr/lib/wine/wine", X_OK) != 0)
        missing("the 32-bit Wine loader", "wine32:i386");
    if (programs.empty()) return true;
    PrintError(std::string("try"),
               "needs " + programs + ", which are not installed (on Debian: apt install" + packages + ")");
    return false;
}

std::string FromEnvironment(const char* name, const std::string& otherwise) {
    const char* value = std::getenv(name);
    return value && *value ? value : otherwise;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The folder that holds what is shipped beside the stub: ../share/sfxpack from the binary.
std::string ShareFolder() {
    return Parent(Parent(Utf8FromWide(RunningModulePath()))) + "/share/sfxpack";
}

}  // namespace

int RunTry(const std::vector<WideString>& args) {
    if (AsksForHelp(args)) {
        PrintOut(HelpText());
        return kExitOk;
    }
    if (!HasWhatTryRuns()) return kExitCannotRead;
    const std::string share = ShareFolder();
    const std::string python = FromEnvironment("SFXPACK_TRY_PYTHON", share + "/python");
    const std::string probe = FromEnvironment("SFXPACK_PROBE", share + "/sfxprobe.exe");
    for (const std::string& file : {python + "/sfxtry/__main__.py", probe}) {
        if (access(file.c_str(), R_OK) != 0) {
            PrintError(file,
                       "cannot be read: try needs it (installed with sfxpack, or named by "
                       "SFXPACK_TRY_PYTHON and SFXPACK_PROBE)");
            return kExitCannotRead;
        }
    }
    const std::string pythonPath = FromEnvironment("PYTHONPATH", "");
    setenv("PYTHONPATH", (python + (pythonPath.empty() ? "" : ":" + pythonPath)).c_str(), 1);
    setenv("SFXPACK_PROBE", probe.c_str(), 1);
    // Debian's own Python, which the package recommends, before whatever a version
    // manager puts first on PATH (its shim alone takes seconds to start).
    const std::string interpreter = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::vector<std::string> words = {interpreter, "-m", "sfxtry"};
    for (size_t i = 1; i < args.size(); ++i) words.push_back(Utf8FromWide(args[i]));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    PrintError(std::string("try"), "cannot start python3");
    return kExitCannotRead;
}

#endif
