// Deflates one input into one standard zlib stream on several threads, the way the
// packer writes every entry. The input is cut every kChunkLength bytes, at the same
// places whatever the thread count; each chunk is deflated on its own as a raw
// stream primed with the kDictionaryLength bytes before it and ended on a byte
// boundary (the last one ends the stream), so the chunks joined behind the zlib
// header, followed by the Adler-32 of the whole input, are one stream that plain
// inflate reads. One thread takes the same path on the caller's thread, so the
// bytes never depend on the thread count.
//
// The caller's thread reads the source, writes the sink and reports progress; the
// workers only deflate. Memory, whatever the input's length: two chunks in flight
// per thread and two more, each held as input and as output (about 2 MiB), and one
// zlib state (about 270 KiB) per thread, or at level 11 zopfli's (at most about 40 MiB). Nothing
// throws out of Deflate; every way it ends is an Outcome, and every thread it started
// has ended when it returns.
#pragma once

#include <atomic>
#include <cstdint>

#include "package/ZopfliChunkDeflater.h"

class CFile;

class ParallelDeflater {
public:
    static constexpr uint32_t kChunkLength = 1u << 20;
    static constexpr uint32_t kDictionaryLength = 32768;
    static constexpr int32_t kMaxThreads = 256;
    static constexpr int32_t kDefaultLevel = 6;
    // pigz's name for zopfli's deflate (ZopfliChunkDeflater), past zlib's 1 to 9.
    static constexpr int32_t kZopfliLevel = 11;

    enum Outcome : int32_t {
        kDeflated,       // the whole stream is in the sink
        kReadFailed,     // the source failed (cause)
        kLengthChanged,  // the source held more or fewer bytes than announced
        kWriteFailed,    // the sink failed (cause)
        kTooLong,        // the stream would have passed the room given
        kNoMemory,       // a buffer or a zlib state could not be had
        kStopped,        // the stop flag was set
    };
    struct Result {
        Outcome outcome = kDeflated;
        int32_t cause = 0;     // the CFileException cause of kReadFailed and kWriteFailed
        uint64_t written = 0;  // bytes handed to the sink, whatever the outcome
    };
    // Called on the caller's thread after each chunk is written, with the count
    // of input bytes whose stream is in the sink.
    typedef void (*Progress)(uint64_t consumed, uintptr_t userData);

    // threads is clamped to 1..kMaxThreads and level, but for kZopfliLevel, to 1..9;
    // iterations are zopfli's, as ZopfliChunkDeflater takes them.
    explicit ParallelDeflater(int32_t threads = 1, int32_t level = kDefaultLevel,
                              int32_t iterations = ZopfliChunkDeflater::kDefaultIterations);

    void SetProgress(Progress progress, uintptr_t userData) {
        m_progress = progress;
        m_userData = userData;
    }
    // A flag another thread or a signal handler may set; the run then ends with
    // kStopped within about one chunk's deflate time. nullptr: never stopped.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Reads exactly length bytes from source's position on and writes their zlib
    // stream to sink at its position, at most room bytes of it. After a failure
    // the sink holds a partial stream (result.written bytes) that the caller drops.
    Result Deflate(CFile& source, uint32_t length, CFile& sink, uint64_t room = UINT64_MAX);

    int32_t Threads() const { return m_threads; }
    int32_t Level() const { return m_level; }

private:
    int32_t m_threads;
    int32_t m_level;
    int32_t m_iterations;
    Progress m_progress = nullptr;
    uintptr_t m_userData = 0;
    const std::atomic<bool>* m_stop = nullptr;
};
