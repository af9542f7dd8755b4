// Deflates one input into one standard zlib stream on several threads, the way the
// packer writes every entry. The input is cut every kChunkLength bytes (at level 11
// every kZopfliChunkLength), at the same places whatever the thread count; each
// chunk is deflated on its own as a raw stream primed with the kDictionaryLength
// bytes before it and ended on a byte boundary (the last one ends the stream), so
// the chunks joined behind the zlib header, followed by the Adler-32 of the whole
// input, are one stream that plain inflate reads. One thread takes the same path on
// the caller's thread, so the bytes never depend on the thread count.
//
// The technique is pigz's (Mark Adler's parallel gzip; pigz.c explains it where it
// codes it): each chunk primed with the 32 KiB before it as a preset dictionary,
// ended on a byte boundary with empty fixed blocks (or a sync flush when the bit
// count is odd) so that the pieces join into one stream, and the check value
// combined from the chunks' own (adler32_combine).
//
// The caller's thread reads the source, writes the sink and reports progress; the
// workers only deflate. Memory, whatever the input's length: two chunks in flight
// per thread and two more, each held as input and as output (about 2 MiB), and one
// zlib state (about 270 KiB) per thread, or at level 11 zopfli's (at most about 40
// MiB). Nothing throws out of Deflate; every way it ends is an Outcome, and every
// thread it started has ended when it returns.
#pragma once

#include <cstdint>

#include "package/FileFailure.h"
#include "package/PackageFormat.h"
#include "package/writer/ZopfliChunkDeflater.h"

class CFile;
class EntryProgress;

class ParallelDeflater {
public:
    static constexpr uint32_t kChunkLength = 1u << 20;
    // zopfli spends about a second on each 256 KiB: smaller chunks share the work out
    // evenly between threads (ten 1 MiB chunks on two threads leave one idle for half a
    // chunk), at a few bytes per chunk's byte boundary.
    static constexpr uint32_t kZopfliChunkLength = 256u << 10;
    static constexpr uint32_t kDictionaryLength = 32768;
    static constexpr int32_t kMaxThreads = 256;
    // pigz's name for zopfli's deflate (ZopfliChunkDeflater), past zlib's 1 to 9.
    static constexpr int32_t kZopfliLevel = 11;

    enum Outcome : int32_t {
        kDeflated,       // the whole stream is in the sink
        kFileFailed,     // the source or the sink failed (the failure says which)
        kLengthChanged,  // the source held more or fewer bytes than announced
        kTooLong,        // the stream would have passed the room given
        kNoMemory,       // a buffer or a zlib state could not be had
    };
    struct Result {
        Outcome outcome = kDeflated;
        FileFailure failure;   // kFileFailed: the side, the file layer's cause and the system's error
        uint64_t written = 0;  // bytes handed to the sink, whatever the outcome
    };

    // threads is clamped to 1..kMaxThreads and level, but for kZopfliLevel, to 1..9;
    // iterations are zopfli's, as ZopfliChunkDeflater takes them.
    explicit ParallelDeflater(int32_t threads = 1, int32_t level = kDefaultDeflateLevel,
                              int32_t iterations = ZopfliChunkDeflater::kDefaultIterations);

    // Reads exactly length bytes from source's position on and writes their zlib
    // stream to sink at its position, at most room bytes of it. After each chunk is
    // written, progress (may be null) hears on the caller's thread how many input
    // bytes have their stream in the sink. After a failure the sink holds a partial
    // stream (result.written bytes) that the caller drops.
    Result Deflate(CFile& source, uint32_t length, CFile& sink, uint64_t room = UINT64_MAX,
                   EntryProgress* progress = nullptr);

private:
    int32_t m_threads;
    int32_t m_level;
    int32_t m_iterations;
};
