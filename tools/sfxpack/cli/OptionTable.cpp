#include "tools/sfxpack/cli/OptionTable.h"

#include "base/Utf8.h"
#include "package/writer/ParallelDeflater.h"
#include "package/writer/ZopfliChunkDeflater.h"

namespace {

const CommandInfo kCommands[] = {
    {"create", Command::kCreate,
     "[--stub STUB | --no-stub] [--allow-signed-stub] [--force] [-j N] [--level N [--iterations N]] -o OUT "
     "FILE...",
     "Packs the FILEs (at most {files}) into OUT: a copy of the stub with the package appended (an "
     "installer), "
     "or with --no-stub the package alone. The stub is STUB, else $SFXPACK_STUB, else sfxstub.exe in "
     "../share/sfxpack beside the sfxpack binary (on Windows first beside sfxpack.exe). Entry names are the "
     "files' base names; the product of an installer database among them is shown. An installer holds "
     "exactly "
     "one FILE, a Windows Installer database that can be read, behind a stub that is a Windows program; "
     "anything else is refused unless --force is given. A stub that is already signed is refused unless "
     "--allow-signed-stub is given: sign the installer after packing. A bare package named *.exe is warned "
     "about. Says what it packed (the input's size, the packed size and its ratio) and what it wrote (the "
     "output's path and size)."},
    {"list", Command::kList, "[--json] FILE",
     "Shows index, size, compressed size, ratio, offset and name of every entry."},
    {"info", Command::kInfo, "[--json] FILE",
     "Shows the stub's size, whether FILE carries an Authenticode signature and whether it covers the "
     "package, and every entry (checked as verify does), with the ProductName, ProductVersion, ProductCode "
     "and Manufacturer of a database."},
    {"extract", Command::kExtract, "FILE [-C DIR] [NAME|INDEX...]",
     "Extracts all entries, or the named ones, into DIR (default: the current folder), and says what it "
     "wrote where."},
    {"verify", Command::kVerify, "[--json] FILE...",
     "Inflates every entry of each FILE without writing it and checks its stream end, checksum, size and "
     "name."},
    {"try", Command::kTry,
     "[--update] [--json] [--junit FILE] [--timeout S] [--keep DIR] [--no-sandbox] INSTALLER",
     "(Linux) Runs INSTALLER under Wine as a user would, watched by the UI probe, on a display of its own, "
     "in a throwaway layer over a fresh prefix cached in $XDG_CACHE_HOME/sfxpack, and says what happened: "
     "installed, installer failed, package unreadable, needs a person or timed out, with the installer's "
     "exit code and reasons, the window's texts, an error box's text, the application started, the folder, "
     "files and bytes installed, the time of each step and pictures. All it starts runs confined "
     "(bubblewrap): the host's files read-only, the home folder, /tmp and /run out of sight, writes only in "
     "the try's own folder, no network, and nothing outlives the try; CPU and memory are not limited. It "
     "looks at the file first: one that is no Windows program, carries no package of ours or is cut short "
     "is told so at once, and Wine is not started."},
    {"help", Command::kHelp, "[COMMAND]",
     "Prints this help, or only COMMAND's part of it (as COMMAND --help does)."},
};

const OptionInfo kOptions[] = {
    {"-o", "--output", Bit(Command::kCreate), "OUT", "The installer or package file to write.", nullptr,
     &PackerOptions::output},
    {nullptr, "--stub", Bit(Command::kCreate), "STUB",
     "The stub to put in front of the package, instead of the default one.", nullptr, &PackerOptions::stub},
    {nullptr, "--no-stub", Bit(Command::kCreate), nullptr, "Writes a bare package file, without a stub.",
     &PackerOptions::noStub},
    {nullptr, "--allow-signed-stub", Bit(Command::kCreate), nullptr,
     "Accepts a stub that is already signed; appending the package breaks its signature, so sign the "
     "installer after packing instead.",
     &PackerOptions::allowSignedStub},
    {nullptr, "--force", Bit(Command::kCreate), nullptr,
     "Packs an installer that could not work: other than one FILE, a FILE that is no readable installer "
     "database, or a stub that is no Windows program.",
     &PackerOptions::force},
    {"-j", "--threads", Bit(Command::kCreate), "N",
     "Deflates on N threads, {range} (default: one per processor this process may use). The input is cut "
     "every {chunk} (every {zopfli-chunk} at level {zopfli}) whatever N is, so the output is the same for "
     "every N.",
     nullptr, nullptr, &PackerOptions::threads, 1, ParallelDeflater::kMaxThreads},
    {nullptr, "--level", Bit(Command::kCreate), "N",
     "The deflate level, 1 (fastest) to 9, default {level}; {zopfli} deflates with zopfli, some 5% smaller "
     "than {level} and a hundred times slower, read by the installer as any other.",
     nullptr, nullptr, &PackerOptions::level, 1, 9, ParallelDeflater::kZopfliLevel},
    {nullptr, "--iterations", Bit(Command::kCreate), "N",
     "Rounds of zopfli's search at level {zopfli}, {range}, default {iterations}.", nullptr, nullptr,
     &PackerOptions::iterations, 1, ZopfliChunkDeflater::kMaxIterations},
    {"-C", "--directory", Bit(Command::kExtract), "DIR",
     "The folder to extract into (default: the current folder).", nullptr, &PackerOptions::directory},
    {nullptr, "--json",
     Bit(Command::kList) | Bit(Command::kInfo) | Bit(Command::kVerify) | Bit(Command::kTry), nullptr,
     "Prints one JSON object instead of text.", &PackerOptions::json},
    {nullptr, "--update", Bit(Command::kTry), nullptr,
     "Runs the installer as the updater does (-update): quietly, into the registered folder."},
    {nullptr, "--junit", Bit(Command::kTry), "FILE",
     "Also writes the verdict to FILE as a JUnit XML report."},
    {nullptr, "--timeout", Bit(Command::kTry), "S",
     "Ends the try, and all it started, after S seconds (default {timeout}): it bounds the whole run, as a "
     "CI step's time-out does."},
    {nullptr, "--keep", Bit(Command::kTry), "DIR",
     "Keeps the prefix, the logs and the pictures in DIR (a new or empty folder)."},
    {nullptr, "--no-sandbox", Bit(Command::kTry), nullptr,
     "Runs Wine without namespaces of its own (bubblewrap), where they cannot be made."},
    {"-q", "--quiet", kEveryCommand, nullptr,
     "No progress bar, no summary, no steps: errors and warnings only.", &PackerOptions::quiet},
    {"-v", "--verbose", kEveryCommand, nullptr, "Reports each step on stderr.", &PackerOptions::verbose},
    {"-h", "--help", kEveryCommand, nullptr, "Prints the command's part of this help."},
};

}  // namespace

bool OptionInfo::Names(const std::string& arg) const {
    return (shortName != nullptr && arg == shortName) || arg == longName;
}

std::string OptionInfo::Heading() const {
    std::string heading = shortName != nullptr ? std::string(shortName) + ", " + longName : longName;
    return value != nullptr ? heading + " " + value : heading;
}

std::string OptionInfo::Range() const {
    return std::to_string(low) + " to " + std::to_string(high) +
           (beyond != 0 ? ", or " + std::to_string(beyond) : "");
}

TableOf<CommandInfo> Commands() {
    return {kCommands, sizeof kCommands / sizeof kCommands[0]};
}

TableOf<OptionInfo> Options() {
    return {kOptions, sizeof kOptions / sizeof kOptions[0]};
}

const CommandInfo* FindCommand(const WideString& name) {
    const std::string text = Utf8FromWide(name);
    for (const CommandInfo& info : Commands())
        if (text == info.name) return &info;
    return nullptr;
}

const CommandInfo& InfoOf(Command command) {
    for (const CommandInfo& info : Commands())
        if (info.command == command) return info;
    return kCommands[sizeof kCommands / sizeof kCommands[0] - 1];  // help's
}
