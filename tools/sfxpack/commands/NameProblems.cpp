#include "tools/sfxpack/commands/NameProblems.h"

#include "package/SelfExtractor.h"
#include "package/reader/EntryName.h"
#include "tools/sfxpack/cli/Console.h"

std::string NameProblem(const WideString& name) {
    if (name.IsEmpty()) return "the name is empty";
    if (name.GetLength() > static_cast<size_t>(kMaxNameLength))
        return "the name is longer than 255 characters";
    return "the name '" + Printable(name) +
           "' could place the file outside its folder (\\ / : . ..) or is a Windows device name (CON, NUL, "
           "COM1...)";
}

std::string EntryText(const SelfExtractor& reader, int32_t index) {
    return "entry " + std::to_string(index) + " (" + Printable(reader.EntryAt(index).name) + "): ";
}
