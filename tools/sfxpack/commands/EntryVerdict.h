// What is wrong with one entry of a package, judged the one way that verify, extract
// and info judge it, in this order: a name that an earlier entry has (extracting both
// would keep one), a name that extraction refuses, then its data as inflating it
// found it (damaged, or unreadable where the package could not be read).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/FileFailure.h"
#include "package/PackageResult.h"

class SelfExtractor;

class EntryVerdict {
public:
    // The verdict on the names of entry handled[position] of reader's table, against
    // the entries handled before it; good when only its data is left to judge.
    static EntryVerdict OfNames(const SelfExtractor& reader, const std::vector<int32_t>& handled,
                                size_t position);
    // The same, against every entry before index in the table.
    static EntryVerdict OfNames(const SelfExtractor& reader, int32_t index);
    // Takes what inflating the entry answered, with the failure behind the answer.
    void TakeData(PackageResult result, const FileFailure& failure);

    bool Good() const { return m_kind == kGood; }
    // Its data could not be read (the disk, not the package, failed).
    bool Unreadable() const { return m_kind == kData && m_failure.side == FileFailure::kRead; }
    // The verdict in a word: "ok", "damaged" or "unreadable".
    const char* Check() const;
    // The exit status it ends a command with.
    int Status() const;
    // What is wrong, in words that follow "entry N (name): ".
    std::string Words() const;
    // Prints "sfxpack: PACKAGE: entry N (name): <words><after>" (after dropped where
    // the system's reason ends the line) and answers Status().
    int Report(const WideString& package, const char* after = "") const;

private:
    enum Kind { kGood, kSameName, kBadName, kData };

    EntryVerdict(const SelfExtractor& reader, int32_t index) : m_reader(&reader), m_index(index) {}

    const SelfExtractor* m_reader;
    int32_t m_index;
    Kind m_kind = kGood;
    int32_t m_earlier = -1;           // kSameName: the earlier entry of that name
    PackageResult m_result = SFX_OK;  // kData: what inflating it answered
    FileFailure m_failure;            // and the file behind that answer
};
