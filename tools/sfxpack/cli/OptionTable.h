// The commands and options of sfxpack, each written once: the parser, the help and
// try's front (which finds the INSTALLER among options that sfxtry parses) read them
// here. Descriptions name limits and defaults as {figures} (HelpFormat's Expand).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/WideString.h"
#include "tools/sfxpack/cli/PackerOptions.h"

using Command = PackerOptions::Command;

constexpr unsigned Bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}
constexpr unsigned kEveryCommand = ~0u;

struct CommandInfo {
    const char* name;
    Command command;
    const char* usage;        // what follows "sfxpack NAME"
    const char* description;  // what it does
};

// An option sets a flag, or takes a value: a path, or a whole number from low to high
// (or beyond, when given). Options of try have no target here: sfxtry parses them.
struct OptionInfo {
    const char* shortName;  // "-o"; nullptr when it has only the long one
    const char* longName;   // "--output"
    unsigned commands;      // the commands that take it (Bit)
    const char* value;      // what its value is called ("OUT"); nullptr for a flag
    const char* description;
    bool PackerOptions::*flag = nullptr;
    WideString PackerOptions::*text = nullptr;
    int32_t PackerOptions::*number = nullptr;
    int32_t low = 0;
    int32_t high = 0;
    int32_t beyond = 0;  // one more number taken past high; 0: none

    // True when arg is its short or its long name.
    bool Names(const std::string& arg) const;
    // "-o, --output OUT", "--stub STUB", "--force".
    std::string Heading() const;
    // The numbers it takes: "1 to 256", "1 to 9, or 11".
    std::string Range() const;
};

template <typename T>
struct TableOf {
    const T* first;
    size_t count;
    const T* begin() const { return first; }
    const T* end() const { return first + count; }
};

// Every command, in the order the help shows them.
TableOf<CommandInfo> Commands();
// Every option, in the order the help shows them.
TableOf<OptionInfo> Options();
// The command a first argument names, or nullptr.
const CommandInfo* FindCommand(const WideString& name);
// The command's entry, which every Command but kNone and kVersion has.
const CommandInfo& InfoOf(Command command);
