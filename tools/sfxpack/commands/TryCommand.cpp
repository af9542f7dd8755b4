// sfxpack try: runs an installer under Wine as a user would and says what happened.
// The work is done by the Python package sfxtry and the UI probe sfxprobe.exe, shipped
// beside the stub; this front looks at the file first, finds them and the programs they
// need, and hands over: sfxtry formats every verdict, also about a file that is no
// installer.
#include <string>

#include "base/Utf8.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/Commands.h"

#ifdef _WIN32

int RunTry(const PackerOptions&) {
    PrintError(std::string("try"),
               "runs installers under Wine and is for Linux; on Windows, run the installer");
    return kExitUsage;
}

#else
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "file/RunningModulePath.h"
#include "tools/sfxpack/cli/JsonWriter.h"
#include "tools/sfxpack/formats/FileKind.h"

namespace {

struct Needed {
    const char* program;
    const char* package;
};

// What try runs, and the Debian package that brings each: python3 always, the others
// for an installer, which runs under Wine.
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

// What is missing and the packages to install; empty when nothing is.
std::string MissingForTry(bool wine) {
    std::string programs, packages;
    auto missing = [&](const std::string& what, const std::string& package) {
        programs += (programs.empty() ? "" : ", ") + what;
        if (packages.find(package) == std::string::npos) packages += " " + package;
    };
    for (const Needed& needed : kNeeded)
        if ((wine || &needed == kNeeded) && !OnPath(needed.program)) missing(needed.program, needed.package);
    // Debian's wine runs 32-bit programs (the installer is one) with the loader of wine32.
    if (wine && access("/usr/lib/wine", F_OK) == 0 && access("/usr/lib/wine/wine", X_OK) != 0)
        missing("the 32-bit Wine loader", "wine32:i386");
    if (programs.empty()) return {};
    return "needs " + programs + ", which are not installed (on Debian: apt install" + packages + ")";
}

bool Given(const PackerOptions& o, const char* option) {
    for (const WideString& arg : o.tryArguments)
        if (Utf8FromWide(arg) == option) return true;
    return false;
}

// try cannot run here: said on stderr, and with --json also as the document sfxtry
// gives when it cannot run, so that stdout is JSON whatever happens.
int CannotRun(const PackerOptions& o, const std::string& subject, const std::string& cause) {
    PrintError(subject, cause);
    if (Given(o, "--json")) {
        JsonWriter json;
        json.BeginObject().Key("verdict").Null().Key("error").String("cannot run");
        json.Key("reason").String(subject + ": " + cause).Key("installer");
        if (o.package.IsEmpty()) {
            json.Null();
        } else {
            json.String(Utf8FromWide(o.package));
        }
        json.Key("mode").String(Given(o, "--update") ? "update" : "normal").Key("seconds").Number(0);
        PrintOut(json.EndObject().Text());
    }
    return kExitCannotRead;
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

// What sfxtry is told: where the probe is, try's default time-out, and what the
// installer is (SFXPACK_TRY_FILE, one JSON object; unset when no one INSTALLER is named,
// which sfxtry refuses).
void TellSfxtry(const std::string& python, const std::string& probe, const std::optional<FileKind>& kind) {
    const std::string pythonPath = FromEnvironment("PYTHONPATH", "");
    setenv("PYTHONPATH", (python + (pythonPath.empty() ? "" : ":" + pythonPath)).c_str(), 1);
    setenv("SFXPACK_PROBE", probe.c_str(), 1);
    setenv("SFXPACK_TRY_TIMEOUT_DEFAULT", std::to_string(kTryDefaultTimeout).c_str(), 1);
    if (kind) {
        setenv("SFXPACK_TRY_FILE", kind->Json().c_str(), 1);
    } else {
        unsetenv("SFXPACK_TRY_FILE");
    }
}

}  // namespace

int RunTry(const PackerOptions& o) {
    std::optional<FileKind> kind;
    if (!o.package.IsEmpty()) kind = FileKind::Of(o.package);
    // Only an installer runs under Wine: anything else is told what it is without it.
    const bool wine = kind && kind->kind == FileKind::kInstaller;
    const std::string missing = MissingForTry(wine);
    if (!missing.empty()) return CannotRun(o, "try", missing);
    const std::string share = ShareFolder();
    const std::string python = FromEnvironment("SFXPACK_TRY_PYTHON", share + "/python");
    const std::string probe = FromEnvironment("SFXPACK_PROBE", share + "/sfxprobe.exe");
    for (const std::string& file : {python + "/sfxtry/__main__.py", probe}) {
        if ((wine || file != probe) && access(file.c_str(), R_OK) != 0) {
            return CannotRun(o, file,
                             "cannot be read: try needs it (installed with sfxpack, or named by "
                             "SFXPACK_TRY_PYTHON and SFXPACK_PROBE)");
        }
    }
    TellSfxtry(python, probe, kind);
    // Debian's own Python, which the package recommends, before whatever a version
    // manager puts first on PATH (its shim alone takes seconds to start).
    const std::string interpreter = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::vector<std::string> words = {interpreter, "-m", "sfxtry"};
    for (const WideString& arg : o.tryArguments) words.push_back(Utf8FromWide(arg));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    return CannotRun(o, "try", "cannot start " + interpreter);
}

#endif
