#include "tools/sfxpack/commands/Packer.h"

#include <cstdio>
#include <string>

#include "file/CFile.h"
#include "package/SelfExtractor.h"
#include "package/reader/TableOfContents.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/commands/EntryVerdict.h"
#include "tools/sfxpack/commands/PackageInfo.h"
#include "tools/sfxpack/files/FileSystem.h"

#ifndef SFXPACK_VERSION
#define SFXPACK_VERSION "0"
#endif

namespace {

std::string Ratio(uint32_t compressed, uint32_t size) {
    if (size == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * compressed / size);
    return text;
}

}  // namespace

int Packer::Run() {
    using Command = PackerOptions::Command;
    switch (m_options.command) {
        case Command::kHelp:
            PrintOut(HelpText());
            return kExitOk;
        case Command::kVersion:
            PrintOut("sfxpack " SFXPACK_VERSION "\n");
            return kExitOk;
        case Command::kCreate:
            return Create();
        case Command::kList:
            return List();
        case Command::kExtract:
            return Extract();
        case Command::kVerify:
            return Verify();
        case Command::kInfo:
            return Describe(true);
        default:
            return kExitUsage;
    }
}

int Packer::OpenPackage(SelfExtractor& reader, TocLocation* location) {
    const WideString& path = m_options.package;
    CFile file;
    std::string why;
    if (!OpenForReading(path, file, &why)) {
        PrintError(path, why);
        return kExitCannotRead;
    }
    file.Abort();
    const PackageResult result = reader.ReadTableOfContents(path, location);
    return ReportResult(result, reader.LastFailure(), path);
}

int Packer::List() {
    if (m_options.json) return Describe(false);
    SelfExtractor reader(m_options.package);
    const int status = OpenPackage(reader);
    if (status != kExitOk) return status;
    PrintOut("index        size  compressed   ratio      offset  name\n");
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry& e = reader.EntryAt(i);
        char line[128];
        std::snprintf(line, sizeof line, "%5d  %10u  %10u  %6s  %10u  ", static_cast<int>(i), e.size,
                      e.compressedSize, Ratio(e.compressedSize, e.size).c_str(), e.offset);
        std::string text = line + Printable(e.name);
        // What its names alone tell; its data is for verify.
        const EntryVerdict verdict = EntryVerdict::OfNames(reader, i);
        if (!verdict.Good()) text += "  (" + verdict.Words() + ")";
        PrintOut(text + "\n");
    }
    return kExitOk;
}

int Packer::Verify() {
    SelfExtractor reader(m_options.package);
    const int status = OpenPackage(reader);
    if (status != kExitOk) return status;
    int worst = kExitOk;
    int32_t good = 0;
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        if (m_options.verbose) PrintNote("verifying " + Printable(reader.EntryAt(i).name));
        EntryVerdict verdict = EntryVerdict::OfNames(reader, i);
        if (verdict.Good()) verdict.TakeData(reader.InflateEntryInBlocks(i, nullptr), reader.LastFailure());
        if (verdict.Good()) {
            ++good;
            continue;
        }
        const int failure = verdict.Report(m_options.package);
        if (worst == kExitOk) worst = failure;
    }
    if (!m_options.quiet) {
        PrintOut(Printable(m_options.package) + ": " + std::to_string(good) + " of " +
                 std::to_string(reader.GetEntryCount()) + " entries verified\n");
    }
    return worst;
}

int Packer::Describe(bool inspect) {
    SelfExtractor reader(m_options.package);
    TocLocation location;
    const int status = OpenPackage(reader, &location);
    if (status != kExitOk) return status;
    return ShowPackageInfo(m_options, reader, location, inspect);
}
