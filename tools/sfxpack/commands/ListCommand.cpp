// sfxpack list: the table of a package, as a table for a person (list --json is info's
// JSON without the checks).
#include <cstdio>
#include <string>

#include "package/SelfExtractor.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/Figures.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/Commands.h"
#include "tools/sfxpack/commands/EntryVerdict.h"
#include "tools/sfxpack/commands/OpenPackage.h"
#include "tools/sfxpack/commands/PackageInfo.h"

int RunList(const PackerOptions& o) {
    if (o.json) return DescribePackage(o, false);
    SelfExtractor reader(o.package);
    const int status = OpenPackage(reader, o.package);
    if (status != kExitOk) return status;
    const auto row = [](const std::string& index, const std::string& size, const std::string& compressed,
                        const std::string& ratio, const std::string& offset) {
        return Column(index, 5) + Column(size, kBytesColumn) + Column(compressed, kBytesColumn) +
               Column(ratio, 6) + Column(offset, kBytesColumn);
    };
    std::string text = row("index", "size", "compressed", "ratio", "offset") + "name\n";
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry& e = reader.EntryAt(i);
        text += row(std::to_string(i), Grouped(e.size), Grouped(e.compressedSize),
                    Ratio(e.compressedSize, e.size), Grouped(e.offset)) +
                Printable(e.name);
        // What its names alone tell; its data is for verify.
        const EntryVerdict verdict = EntryVerdict::OfNames(reader, i);
        if (!verdict.Good()) text += "  (" + verdict.Words() + ")";
        text += "\n";
    }
    PrintOut(text);
    return kExitOk;
}
