#include "tools/sfxpack/commands/EntryVerdict.h"

#include <numeric>

#include "package/SelfExtractor.h"
#include "package/reader/EntryName.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/commands/NameProblems.h"

EntryVerdict EntryVerdict::OfNames(const SelfExtractor& reader, const std::vector<int32_t>& handled,
                                   size_t position) {
    EntryVerdict verdict(reader, handled[position]);
    const WideString& name = reader.EntryAt(verdict.m_index).name;
    for (size_t k = 0; k < position && verdict.m_earlier < 0; ++k) {
        if (SameEntryName(reader.EntryAt(handled[k]).name, name)) verdict.m_earlier = handled[k];
    }
    if (verdict.m_earlier >= 0) {
        verdict.m_kind = kSameName;
    } else if (!IsValidEntryName(name)) {
        verdict.m_kind = kBadName;
    }
    return verdict;
}

EntryVerdict EntryVerdict::OfNames(const SelfExtractor& reader, int32_t index) {
    std::vector<int32_t> handled(static_cast<size_t>(index) + 1);
    std::iota(handled.begin(), handled.end(), 0);
    return OfNames(reader, handled, static_cast<size_t>(index));
}

void EntryVerdict::TakeData(PackageResult result, const FileFailure& failure) {
    if (m_kind != kGood || result == SFX_OK) return;
    m_kind = kData;
    m_result = result;
    m_failure = failure;
}

const char* EntryVerdict::Check() const {
    if (Good()) return "ok";
    return Unreadable() ? "unreadable" : "damaged";
}

int EntryVerdict::Status() const {
    switch (m_kind) {
        case kGood:
            return kExitOk;
        case kData:
            return ExitStatusOf(m_result, m_failure);
        default:
            return kExitDamaged;
    }
}

std::string EntryVerdict::Words() const {
    switch (m_kind) {
        case kGood:
            return "";
        case kSameName:
            return "entry " + std::to_string(m_earlier) +
                   " has the same name; extracting both would keep only one";
        case kBadName:
            return NameProblem(m_reader->EntryAt(m_index).name);
        default:
            return ResultWords(m_result, m_failure);
    }
}

int EntryVerdict::Report(const WideString& package, const char* after) const {
    if (m_kind == kData)
        return ReportResult(m_result, m_failure, package, EntryText(*m_reader, m_index), after);
    if (m_kind != kGood) PrintError(package, EntryText(*m_reader, m_index) + Words() + after);
    return Status();
}
