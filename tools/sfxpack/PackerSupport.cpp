#include "tools/sfxpack/PackerSupport.h"

#include "base/Utf8.h"
#include "file/CFileException.h"
#include "package/EntryName.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/Console.h"
#include "tools/sfxpack/ExitStatus.h"
#include "tools/sfxpack/PackerFiles.h"

int OpenPackage(SelfExtractor& extractor, const WideString& path) {
    const std::string unreadable = WhyUnreadable(path);
    if (!unreadable.empty()) {
        PrintError(path, unreadable);
        return kExitCannotRead;
    }
    switch (extractor.ReadTableOfContents(path)) {
        case SFX_OK:
            return kExitOk;
        case SFX_ERR_OPEN_PACKAGE: {
            const std::string why = WhyUnreadable(path);
            PrintError(path, why.empty() ? "cannot be opened" : why);
            return kExitCannotRead;
        }
        case SFX_ERR_NO_ENTRIES:
            PrintError(path, "the package holds no entries");
            return kExitNotPackage;
        default:
            PrintError(path, "not a package (no valid table of contents found)");
            return kExitNotPackage;
    }
}

std::string NameProblem(const WideString& name) {
    if (name.IsEmpty()) return "the name is empty";
    if (name.GetLength() > static_cast<size_t>(kMaxNameLength))
        return "the name is longer than 255 characters";
    return "the name '" + Printable(name) +
           "' could place the file outside its folder (\\ / : . ..) or is a Windows device name (CON, NUL, "
           "COM1...)";
}

int32_t EarlierEntryOfSameName(const SelfExtractor& reader, const std::vector<int32_t>& indexes, size_t upTo,
                               int32_t index) {
    for (size_t k = 0; k < upTo; ++k) {
        if (SameEntryName(reader.EntryAt(indexes[k]).name, reader.EntryAt(index).name)) return indexes[k];
    }
    return -1;
}

std::string EntryText(const SelfExtractor& reader, int32_t index) {
    return "entry " + std::to_string(index) + " (" + Printable(reader.EntryAt(index).name) + "): ";
}

extern const char kCannotWriteOutput[];
const char kCannotWriteOutput[] =
    "cannot be written (folder missing or read-only, disk full, or 2 GiB reached)";

std::string CannotCreateBeside(const CFileException& error) {
    if (error.m_cause == CFileException::fileNotFound || error.m_cause == CFileException::badPath) {
        return "cannot be written (its folder does not exist)";
    }
    return "cannot be written (no new file can be made in its folder: " + CauseText(error.m_cause) + ")";
}

std::string SameNameProblem(int32_t earlier) {
    return "entry " + std::to_string(earlier) + " has the same name; extracting both would keep only one";
}
