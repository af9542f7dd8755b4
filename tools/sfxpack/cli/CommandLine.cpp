#include "tools/sfxpack/cli/CommandLine.h"

#include <optional>
#include <string>

#include "base/Utf8.h"
#include "package/writer/ParallelDeflater.h"
#include "tools/sfxpack/cli/OptionTable.h"

namespace {

std::u16string Widened(const char* ascii) {
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

// value as a whole number from the option's low to high (or its beyond), in decimal digits only.
bool ParseNumber(const WideString& value, const OptionInfo& option, int32_t* number) {
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

// An option as the user wrote it: which one, its spelling, and a value written into
// the same argument ("-j2", "-oOUT", "--threads=2").
struct Written {
    const OptionInfo* option = nullptr;
    std::string spelling;
    std::optional<WideString> attached;
};

Written FindOption(const WideString& arg, Command command) {
    const std::u16string text(arg.c_str());
    for (const OptionInfo& option : Options()) {
        if (!(option.commands & Bit(command))) continue;
        if (option.Names(Utf8FromWide(arg))) return {&option, Utf8FromWide(arg), std::nullopt};
        if (option.value == nullptr) continue;
        for (const char* name : {option.shortName, option.longName}) {
            if (name == nullptr) continue;
            // A long name takes its value after "=", a short one right after it.
            const bool isLong = name[1] == '-';
            const std::u16string prefix = Widened(name) + (isLong ? u"=" : u"");
            if (text.size() >= prefix.size() + (isLong ? 0 : 1) &&
                text.compare(0, prefix.size(), prefix) == 0)
                return {&option, name, WideString(text.substr(prefix.size()).c_str())};
        }
    }
    return {};
}

// Takes the option written at args[*i] and, for one with a value, the value attached to
// it or else the argument after it.
bool TakeOption(Written written, const std::vector<WideString>& args, size_t* i, PackerOptions* options,
                std::string* error) {
    const OptionInfo& option = *written.option;
    // Options sfxtry parses (try's own) have no target here.
    if (option.value == nullptr) {
        if (option.flag != nullptr) options->*option.flag = true;
        return true;
    }
    std::optional<WideString>& value = written.attached;
    if (!value && *i + 1 < args.size()) value = args[++*i];
    if (!value || value->IsEmpty()) {
        *error = written.spelling + " needs a value";
        return false;
    }
    if (option.number == nullptr) {
        if (option.text != nullptr) options->*option.text = *value;
        return true;
    }
    if (ParseNumber(*value, option, &(options->*option.number))) return true;
    *error = written.spelling + " needs a whole number from " + option.Range() + ", not '" +
             Utf8FromWide(*value) + "'";
    return false;
}

bool AsksForHelp(const WideString& arg) {
    return arg == u"--help" || arg == u"-h";
}

// The options and operands after the command; false on a usage error. --help among
// the options asks for the command's help instead.
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
        } else if (AsksForHelp(arg)) {
            options->helpTopic = options->command;
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

// try's arguments go to sfxtry whole; its INSTALLER is the one operand left once its
// options, and the values of those that take one, are passed over. Anything unknown
// is sfxtry's to refuse.
void TakeTryArguments(const std::vector<WideString>& args, PackerOptions* options) {
    options->tryArguments.assign(args.begin() + 1, args.end());
    std::vector<WideString> operands;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const WideString& arg = args[i];
        if (optionsEnded || arg.GetLength() < 2 || arg[0] != u'-') {
            operands.push_back(arg);
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (AsksForHelp(arg)) {
            options->helpTopic = Command::kTry;
            options->command = Command::kHelp;
            return;
        } else {
            const Written written = FindOption(arg, Command::kTry);
            if (written.option != nullptr && written.option->value != nullptr && !written.attached) ++i;
        }
    }
    if (operands.size() == 1) options->package = operands[0];
}

// What the operands are to the command, and the options that contradict each other.
bool TakeOperands(const std::vector<WideString>& operands, PackerOptions* options, std::string* error) {
    const std::string command = InfoOf(options->command).name;
    if (options->quiet && options->verbose) {
        *error = "-q and -v contradict each other";
    } else if (options->command == Command::kCreate) {
        if (options->noStub && !options->stub.IsEmpty()) {
            *error = "--stub and --no-stub contradict each other";
        } else if (options->iterations != 0 && options->level != ParallelDeflater::kZopfliLevel) {
            *error = "--iterations is zopfli's, for --level " +
                     std::to_string(ParallelDeflater::kZopfliLevel) + " only";
        } else if (options->output.IsEmpty()) {
            *error = "create needs -o OUT";
        } else if (operands.empty()) {
            *error = "create needs at least one FILE";
        }
        options->files = operands;
    } else if (options->command == Command::kHelp) {
        const CommandInfo* topic = operands.empty() ? nullptr : FindCommand(operands[0]);
        if (operands.size() > 1) {
            *error = "help takes one COMMAND";
        } else if (!operands.empty() && topic == nullptr) {
            *error = "no command '" + Utf8FromWide(operands[0]) + "' to help with (try --help)";
        } else if (topic != nullptr) {
            options->helpTopic = topic->command;
        }
    } else if (operands.empty()) {
        *error = command + " needs a package FILE";
    } else if (options->command == Command::kVerify) {
        options->files = operands;
    } else {
        options->package = operands[0];
        options->files.assign(operands.begin() + 1, operands.end());
        if (options->command != Command::kExtract && !options->files.empty())
            *error = command + " takes one FILE";
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
    if (args[0] == u"--version") {
        options->command = Command::kVersion;
        return true;
    }
    const CommandInfo* info = AsksForHelp(args[0]) ? &InfoOf(Command::kHelp) : FindCommand(args[0]);
    if (info == nullptr) {
        *error = "unknown command '" + Utf8FromWide(args[0]) + "' (try --help)";
        return false;
    }
    options->command = info->command;
    if (options->command == Command::kTry) {
        TakeTryArguments(args, options);
        return true;
    }
    std::vector<WideString> operands;
    if (!TakeArguments(args, options, &operands, error)) return false;
    // --help among a command's options asks for its help, whatever else is there.
    if (options->command == Command::kHelp && info->command != Command::kHelp) return true;
    return TakeOperands(operands, options, error);
}
