#include "tools/sfxpack/cli/HelpText.h"

#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/HelpFormat.h"
#include "tools/sfxpack/cli/OptionTable.h"

namespace {

constexpr size_t kIndent = 6;

std::string Usage(const CommandInfo& info) {
    const std::string first = std::string("  sfxpack ") + info.name + " ";
    return Wrap(info.usage, first, first.size()) + Wrap(info.description, std::string(kIndent, ' '), kIndent);
}

std::string CommandsOf(unsigned commands) {
    if (commands == kEveryCommand) return "every command";
    std::string names;
    for (const CommandInfo& info : Commands()) {
        if (commands & Bit(info.command)) names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    return names;
}

// Its heading, the commands that take it, and what it does, its numbers' range put in.
std::string OptionHelp(const OptionInfo& option) {
    std::string description = option.description;
    const size_t range = description.find("{range}");
    if (range != std::string::npos) description.replace(range, 7, option.Range());
    return "  " + option.Heading() + "  (" + CommandsOf(option.commands) + ")\n" +
           Wrap(description, std::string(kIndent, ' '), kIndent);
}

std::string OptionsHelp(unsigned commands) {
    std::string text = "Options:\n";
    for (const OptionInfo& option : Options()) {
        if (option.commands & commands) text += OptionHelp(option);
    }
    return text;
}

const char kEveryOption[] =
    "An option's value may follow it or be attached to it: -j2, -oOUT, --threads=2, --timeout=30. A progress "
    "bar is shown on a terminal unless -q is given. No output is left behind by a command that fails: OUT is "
    "written under a temporary name and renamed when it is complete and has been read back; an entry that "
    "fails to extract is removed.";

}  // namespace

std::string HelpText(PackerOptions::Command topic) {
    if (topic != PackerOptions::Command::kNone) {
        return "Usage:\n" + Usage(InfoOf(topic)) + "\n" + OptionsHelp(Bit(topic));
    }
    std::string text = "Usage:\n";
    for (const CommandInfo& info : Commands()) text += Usage(info);
    text += "  sfxpack --help | --version\n\n" + OptionsHelp(kEveryCommand) + "\n" +
            Wrap(kEveryOption, "", 0) + "\n";
    return text + ExitStatusHelp();
}
