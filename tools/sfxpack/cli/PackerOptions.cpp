#include "tools/sfxpack/cli/PackerOptions.h"

#include <optional>
#include <string>

#include "base/Utf8.h"
#include "package/writer/ParallelDeflater.h"
#include "package/writer/ZopfliChunkDeflater.h"
#include "tools/sfxpack/cli/ExitStatus.h"

namespace {

using Command = PackerOptions::Command;

constexpr unsigned Bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}
constexpr unsigned kEveryCommand = ~0u;

// The first argument, spelled as the user may spell it.
const struct {
    const char16_t* name;
    Command command;
} kCommands[] = {
    {u"--help", Command::kHelp},       {u"-h", Command::kHelp},       {u"help", Command::kHelp},
    {u"--version", Command::kVersion}, {u"create", Command::kCreate}, {u"list", Command::kList},
    {u"extract", Command::kExtract},   {u"verify", Command::kVerify}, {u"info", Command::kInfo},
};

// The options after it: each sets a flag or takes the next argument as its value (a
// path, or a whole number from low to high, or beyond when given), and only for the
// commands named.
struct Option {
    const char16_t* name;
    const char16_t* longName;  // nullptr when it has no other spelling
    unsigned commands;
    bool PackerOptions::*flag;
    WideString PackerOptions::*value;
    int32_t PackerOptions::*number = nullptr;
    int32_t low = 0;
    int32_t high = 0;
    int32_t beyond = 0;  // one more number taken past high; 0: none
};
const Option kOptions[] = {
    {u"-q", u"--quiet", kEveryCommand, &PackerOptions::quiet, nullptr},
    {u"-v", u"--verbose", kEveryCommand, &PackerOptions::verbose, nullptr},
    {u"-o", nullptr, Bit(Command::kCreate), nullptr, &PackerOptions::output},
    {u"--stub", nullptr, Bit(Command::kCreate), nullptr, &PackerOptions::stub},
    {u"--allow-signed-stub", nullptr, Bit(Command::kCreate), &PackerOptions::allowSignedStub, nullptr},
    {u"--force", nullptr, Bit(Command::kCreate), &PackerOptions::force, nullptr},
    {u"--no-stub", nullptr, Bit(Command::kCreate), &PackerOptions::noStub, nullptr},
    {u"-j", u"--threads", Bit(Command::kCreate), nullptr, nullptr, &PackerOptions::threads, 1,
     ParallelDeflater::kMaxThreads},
    // zlib's levels, and pigz's 11 for zopfli.
    {u"--level", nullptr, Bit(Command::kCreate), nullptr, nullptr, &PackerOptions::level, 1, 9,
     ParallelDeflater::kZopfliLevel},
    {u"--iterations", nullptr, Bit(Command::kCreate), nullptr, nullptr, &PackerOptions::iterations, 1,
     ZopfliChunkDeflater::kMaxIterations},
    {u"--json", nullptr, Bit(Command::kList) | Bit(Command::kInfo), &PackerOptions::json, nullptr},
    {u"-C", nullptr, Bit(Command::kExtract), nullptr, &PackerOptions::directory},
};

// value as a whole number from low to high (or the option's beyond), in decimal digits only.
bool ParseNumber(const WideString& value, const Option& option, int32_t* number) {
    const std::string digits = Utf8FromWide(value);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long parsed = std::stol(digits);
    if ((parsed < option.low || parsed > option.high) && (option.beyond == 0 || parsed != option.beyond)) {
        return false;
    }
    *number = static_cast<int32_t>(parsed);
    return true;
}

bool Names(const Option& option, const WideString& name) {
    return name == option.name || (option.longName != nullptr && name == option.longName);
}

// An option as the user wrote it: which one, its spelling, and a value written into
// the same argument as other tools take it ("-j2", "-oOUT", "--threads=2").
struct Written {
    const Option* option = nullptr;
    std::u16string spelling;
    std::optional<WideString> attached;
};

Written FindOption(const WideString& arg, Command command) {
    const std::u16string text(arg.c_str());
    const size_t equals = text.find(u'=');
    for (const Option& option : kOptions) {
        if (!(option.commands & Bit(command))) continue;
        if (Names(option, arg)) return {&option, text, std::nullopt};
        if (option.flag != nullptr) continue;
        const size_t split = text[1] != u'-' ? 2 : equals;
        if (split < text.size() && Names(option, text.substr(0, split).c_str())) {
            return {&option, text.substr(0, split),
                    WideString(text.substr(split + (text[1] == u'-')).c_str())};
        }
    }
    return {};
}

// Takes the option at args[*i] and, for one with a value, the value attached to it
// or else the argument after it.
bool TakeOption(Written written, const std::vector<WideString>& args, size_t* i, PackerOptions* options,
                std::string* error) {
    const Option& option = *written.option;
    if (option.flag != nullptr) {
        options->*option.flag = true;
        return true;
    }
    const std::string given = Utf8FromWide(WideString(written.spelling.c_str()));
    std::optional<WideString>& value = written.attached;
    if (!value && *i + 1 < args.size()) value = args[++*i];
    if (!value || value->IsEmpty()) {
        *error = given + " needs a value";
        return false;
    }
    if (option.number == nullptr) {
        options->*option.value = *value;
        return true;
    }
    if (ParseNumber(*value, option, &(options->*option.number))) return true;
    *error = given + " needs a whole number from " + std::to_string(option.low) + " to " +
             std::to_string(option.high) +
             (option.beyond != 0 ? ", or " + std::to_string(option.beyond) : "") + ", not '" +
             Utf8FromWide(*value) + "'";
    return false;
}

// The options and operands after the command; false on a usage error. --help
// anywhere among the options asks for help instead.
bool TakeArguments(const std::vector<WideString>& args, PackerOptions* options,
                   std::vector<WideString>* operands, std::string* error) {
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const WideString& arg = args[i];
        Written written;
        if (optionsEnded || arg.GetLength() < 2 || arg[0] != u'-') {
            operands->push_back(arg);
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (arg == u"--help" || arg == u"-h") {
            options->command = Command::kHelp;
            return true;
        } else if ((written = FindOption(arg, options->command)).option != nullptr) {
            if (!TakeOption(written, args, &i, options, error)) return false;
        } else {
            *error =
                "unknown option '" + Utf8FromWide(arg) + "' for " + Utf8FromWide(args[0]) + " (try --help)";
            return false;
        }
    }
    return true;
}

// What the operands are to the command, and the options that contradict each other.
bool TakeOperands(const WideString& command, std::vector<WideString> operands, PackerOptions* options,
                  std::string* error) {
    if (options->quiet && options->verbose) {
        *error = "-q and -v contradict each other";
    } else if (options->command == Command::kCreate) {
        if (options->noStub && !options->stub.IsEmpty()) {
            *error = "--stub and --no-stub contradict each other";
        } else if (options->iterations != 0 && options->level != ParallelDeflater::kZopfliLevel) {
            *error = "--iterations is zopfli's, for --level 11 only";
        } else if (options->output.IsEmpty()) {
            *error = "create needs -o OUT";
        } else if (operands.empty()) {
            *error = "create needs at least one FILE";
        }
        options->files = operands;
    } else if (operands.empty()) {
        *error = Utf8FromWide(command) + " needs a package FILE";
    } else {
        options->package = operands[0];
        operands.erase(operands.begin());
        if (options->command == Command::kExtract) {
            options->files = operands;
        } else if (!operands.empty()) {
            *error = Utf8FromWide(command) + " takes one FILE";
        }
    }
    return error->empty();
}

}  // namespace

bool ParseCommandLine(const std::vector<WideString>& args, PackerOptions* options, std::string* error) {
    error->clear();
    if (args.empty()) {
        *error = "no command given (try --help)";
        return false;
    }
    for (const auto& known : kCommands) {
        if (args[0] == known.name) options->command = known.command;
    }
    if (options->command == Command::kNone) {
        *error = "unknown command '" + Utf8FromWide(args[0]) + "' (try --help)";
        return false;
    }
    if (options->command == Command::kHelp || options->command == Command::kVersion) return true;
    std::vector<WideString> operands;
    if (!TakeArguments(args, options, &operands, error)) return false;
    return options->command == Command::kHelp || TakeOperands(args[0], operands, options, error);
}

std::string HelpText() {
    return "Usage:\n"
           "  sfxpack create [--stub STUB | --no-stub] [--allow-signed-stub] [--force] [-j N]\n"
           "                 [--level N [--iterations N]] -o OUT FILE...\n"
           "      Packs the FILEs (at most 256) into OUT: a copy of the stub with the package\n"
           "      appended (an installer), or with --no-stub the package alone. The stub is STUB,\n"
           "      else $SFXPACK_STUB, else sfxstub.exe in ../share/sfxpack beside the sfxpack\n"
           "      binary (on Windows first beside sfxpack.exe). Entry names are the files' base\n"
           "      names; an installer database among them is named with its product. An installer\n"
           "      holds exactly one FILE, a Windows Installer database that can be read, behind a\n"
           "      stub that is a Windows program; anything else is refused unless --force is\n"
           "      given. A stub that is already signed is refused unless --allow-signed-stub is\n"
           "      given: sign the installer after packing. A bare package named *.exe is warned\n"
           "      about. -j N (--threads N) deflates on N threads, 1 to 256 (default: one per\n"
           "      processor this process may use); the output is the same for every N. --level N\n"
           "      is the deflate level, 1 (fastest) to 9, default 6; 11 deflates with zopfli, some\n"
           "      5 % smaller than 6 and a hundred times slower, with --iterations N rounds of its\n"
           "      search (1 to 1000, default 15).\n"
           "  sfxpack list [--json] FILE\n"
           "      Shows index, size, compressed size, ratio, offset and name of every entry.\n"
           "  sfxpack info [--json] FILE\n"
           "      Shows the stub's size, whether FILE carries an Authenticode signature and whether\n"
           "      it covers the package, and every entry (checked as verify does), with the\n"
           "      ProductName, ProductVersion, ProductCode and Manufacturer of a database.\n"
           "  sfxpack extract FILE [-C DIR] [NAME|INDEX...]\n"
           "      Extracts all entries, or the named ones, into DIR (default: the current folder).\n"
           "  sfxpack verify FILE\n"
           "      Inflates every entry without writing it and checks its stream end, checksum,\n"
           "      size and name.\n"
           "  sfxpack try [--update] [--json] [--timeout S] [--keep DIR] INSTALLER\n"
           "      (Linux) Runs INSTALLER under Wine as a user would, watched by the UI probe, in a\n"
           "      throwaway prefix (a copy of a fresh one cached in $XDG_CACHE_HOME/sfxpack) on a\n"
           "      display of its own, and says what happened: installed, installer failed, package\n"
           "      unreadable, needs a person or timed out, with the installer's exit code and\n"
           "      reasons, the window's texts, an error box's text, the application started, the\n"
           "      folder, files and bytes installed, the time of each step and pictures. --update\n"
           "      runs it as the updater does (quietly); --json prints one JSON object; --timeout\n"
           "      ends it after S seconds (default 300); --keep DIR keeps prefix, logs, pictures.\n"
           "  sfxpack --help | --version\n"
           "\n"
           "Every command takes -q (no progress bar, no summary; errors and warnings only) or -v\n"
           "(each step on stderr). An option's value may also be attached: -j2, -oOUT,\n"
           "--threads=2. A progress bar is shown on a terminal unless -q is given. No\n"
           "output is left behind by a command that fails: OUT is written under a temporary name\n"
           "and renamed when it is complete and has been read back; an entry that fails to\n"
           "extract is removed.\n"
           "\n" +
           ExitStatusHelp();
}
