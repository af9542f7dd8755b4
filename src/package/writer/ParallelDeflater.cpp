#include "package/writer/ParallelDeflater.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/EntryProgress.h"
#include "package/writer/Monitor.h"
#include "package/writer/WorkerThreads.h"

namespace {

constexpr uint32_t kDictionary = ParallelDeflater::kDictionaryLength;
static_assert(ParallelDeflater::kZopfliChunkLength >= kDictionary &&
                  ParallelDeflater::kChunkLength >= kDictionary,
              "a chunk must hold the next chunk's dictionary");

// One chunk in flight: its input behind the bytes that prime it, and its stream.
struct Chunk {
    enum State { kReady, kQueued, kDeflated, kFailed };

    std::vector<uint8_t> input;  // kDictionary bytes, then the chunk
    std::vector<uint8_t> output;
    uint32_t length = 0;
    uint32_t outputLength = 0;
    uLong adler = 0;
    bool primed = false;  // the first kDictionary bytes are the input's before the chunk
    bool last = false;
    State state = kReady;  // under the monitor while a worker may hold the chunk
};

// One raw deflate stream per thread, reset for every chunk, or zopfli at its level.
class ChunkDeflater {
public:
    ChunkDeflater(int32_t level, int32_t iterations) : m_level(level), m_zopfli(iterations) {}
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;
    ~ChunkDeflater() {
        if (m_ready) deflateEnd(&m_stream);
    }

    // Fills chunk.output; false when zlib's state or the output buffer cannot be had.
    bool Deflate(Chunk& chunk) noexcept {
        const uint8_t* data = chunk.input.data() + kDictionary;
        const bool deflated = m_level == ParallelDeflater::kZopfliLevel
                                  ? m_zopfli.Deflate(data, chunk.primed ? kDictionary : 0, chunk.length,
                                                     chunk.last, &chunk.output, &chunk.outputLength)
                                  : DeflateWithZlib(chunk);
        if (!deflated) return false;
        chunk.adler = adler32(adler32(0, nullptr, 0), data, chunk.length);
        return true;
    }

private:
    bool DeflateWithZlib(Chunk& chunk) noexcept {
        if (m_ready
                ? deflateReset(&m_stream) != Z_OK
                : deflateInit2(&m_stream, m_level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            return false;
        }
        m_ready = true;
        uint8_t* data = chunk.input.data() + kDictionary;
        if (chunk.primed && deflateSetDictionary(&m_stream, chunk.input.data(), kDictionary) != Z_OK)
            return false;
        // The bound holds a whole stream; the empty blocks that end a chunk on a
        // byte come on top. Too little room shows as a failure, never as a bad stream.
        const size_t room = deflateBound(&m_stream, chunk.length) + 64;
        try {
            if (chunk.output.size() < room) chunk.output.resize(room);
        } catch (const std::bad_alloc&) {
            return false;
        }
        m_stream.next_in = data;
        m_stream.avail_in = chunk.length;
        m_stream.next_out = chunk.output.data();
        m_stream.avail_out = static_cast<uInt>(room);
        const bool ended = chunk.last ? deflate(&m_stream, Z_FINISH) == Z_STREAM_END : EndOnByteBoundary();
        if (!ended || m_stream.avail_in != 0) return false;
        chunk.outputLength = static_cast<uint32_t>(room - m_stream.avail_out);
        return true;
    }

    // Ends the chunk's last block, then fills up the byte with empty fixed blocks of
    // 10 bits; an odd count of bits never reaches a byte that way, so it takes the
    // 4-byte empty stored block of a sync flush instead.
    bool EndOnByteBoundary() {
        if (deflate(&m_stream, Z_BLOCK) != Z_OK) return false;
        int bits = 0;
        deflatePending(&m_stream, nullptr, &bits);
        if (bits & 1) {
            if (deflate(&m_stream, Z_SYNC_FLUSH) != Z_OK) return false;
        } else if (bits & 7) {
            do {
                if (deflatePrime(&m_stream, 10, 2) != Z_OK) return false;
                deflatePending(&m_stream, nullptr, &bits);
            } while (bits & 7);
            if (deflate(&m_stream, Z_BLOCK) != Z_OK) return false;
        }
        unsigned pending = 0;
        deflatePending(&m_stream, &pending, &bits);
        return pending == 0 && bits == 0;
    }

    z_stream m_stream{};
    bool m_ready = false;
    int32_t m_level;
    ZopfliChunkDeflater m_zopfli;
};

// zlib's own header for a level: deflate, 32 KiB window, the level's class, check bits.
uint16_t ZlibHeader(int32_t level) {
    const uint32_t levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    uint32_t header = (static_cast<uint32_t>(Z_DEFLATED + ((MAX_WBITS - 8) << 4)) << 8) | (levelClass << 6);
    header += 31 - header % 31;
    return static_cast<uint16_t>(header);
}

// One call of Deflate: the chunks in flight and what the threads share. The caller's
// thread reads, writes and reports; workers take queued chunks in order.
class DeflateRun {
public:
    DeflateRun(CFile& source, uint32_t length, CFile& sink, uint64_t room, int32_t level, int32_t iterations)
        : m_source(source),
          m_length(length),
          m_sink(sink),
          m_room(room),
          m_level(level),
          m_iterations(iterations),
          m_chunk(level == ParallelDeflater::kZopfliLevel ? ParallelDeflater::kZopfliChunkLength
                                                          : ParallelDeflater::kChunkLength),
          m_chunkCount(length == 0 ? 1 : (static_cast<uint64_t>(length) + m_chunk - 1) / m_chunk) {}
    DeflateRun(const DeflateRun&) = delete;
    DeflateRun& operator=(const DeflateRun&) = delete;
    ~DeflateRun() {
        {
            Monitor::Lock lock(m_monitor);
            m_quit = true;
        }
        m_monitor.WakeAll();
        m_workers.JoinAll();
    }

    ParallelDeflater::Result Run(int32_t threads, EntryProgress* progress) {
        m_progress = progress;
        const uint64_t workers = std::min<uint64_t>(static_cast<uint64_t>(threads), m_chunkCount);
        // Two chunks per worker, one being deflated while the other is read or
        // waits its turn to be written, and two more: chunks are written in order,
        // so without them one slow chunk soon leaves the other workers idle.
        m_slots.resize(workers > 1 ? std::min<uint64_t>(2 * workers + 2, m_chunkCount) : 1);
        for (Chunk& chunk : m_slots) chunk.input.resize(kDictionary + std::min(m_chunk, m_length));
        const int32_t started =
            workers > 1 ? m_workers.Start(static_cast<int32_t>(workers), [this] { Work(); }) : 0;

        const uint16_t header = ZlibHeader(m_level);
        const uint8_t headerBytes[2] = {static_cast<uint8_t>(header >> 8), static_cast<uint8_t>(header)};
        if (WriteBytes(headerBytes, sizeof headerBytes)) {
            if (started > 0) {
                RunWithWorkers();
            } else {
                RunHere();
            }
        }
        return m_result;
    }

private:
    bool Fail(ParallelDeflater::Outcome outcome) {
        m_result.outcome = outcome;
        return false;
    }
    Chunk& Slot(uint64_t index) { return m_slots[static_cast<size_t>(index % m_slots.size())]; }

    bool RunHere() {
        ChunkDeflater deflater(m_level, m_iterations);
        for (uint64_t index = 0; index < m_chunkCount; ++index) {
            if (!ReadChunk(index)) return false;
            if (!deflater.Deflate(Slot(index))) return Fail(ParallelDeflater::kNoMemory);
            if (!WriteChunk(Slot(index))) return false;
        }
        return true;
    }

    bool RunWithWorkers() {
        uint64_t read = 0;
        uint64_t written = 0;
        while (written < m_chunkCount) {
            if (read < m_chunkCount && read - written < m_slots.size()) {
                if (!ReadChunk(read)) return false;
                {
                    Monitor::Lock lock(m_monitor);
                    Slot(read).state = Chunk::kQueued;
                    ++m_queued;
                }
                m_monitor.WakeAll();
                ++read;
                continue;
            }
            Chunk& chunk = Slot(written);
            Chunk::State state;
            {
                Monitor::Lock lock(m_monitor);
                while (chunk.state == Chunk::kQueued) lock.Wait();
                state = chunk.state;
            }
            if (state != Chunk::kDeflated) return Fail(ParallelDeflater::kNoMemory);
            if (!WriteChunk(chunk)) return false;
            ++written;
        }
        return true;
    }

    // A worker: deflates queued chunks in order until the run ends.
    void Work() noexcept {
        ChunkDeflater deflater(m_level, m_iterations);
        for (;;) {
            Chunk* chunk;
            {
                Monitor::Lock lock(m_monitor);
                while (!m_quit && m_taken == m_queued) lock.Wait();
                if (m_quit) return;
                chunk = &Slot(m_taken++);
            }
            const Chunk::State state = deflater.Deflate(*chunk) ? Chunk::kDeflated : Chunk::kFailed;
            {
                Monitor::Lock lock(m_monitor);
                chunk->state = state;
            }
            m_monitor.WakeAll();
        }
    }

    // Reads chunk index into its slot, behind the end of the chunk before it. The
    // slot is no worker's: its previous chunk is written.
    bool ReadChunk(uint64_t index) {
        Chunk& chunk = Slot(index);
        if (index > 0) {
            // Every chunk but the last is whole; with one slot, the previous chunk
            // is this one's own buffer.
            const uint8_t* end = Slot(index - 1).input.data() + kDictionary + m_chunk;
            std::memmove(chunk.input.data(), end - kDictionary, kDictionary);
        }
        chunk.primed = index > 0;
        chunk.last = index + 1 == m_chunkCount;
        chunk.length = static_cast<uint32_t>(std::min<uint64_t>(m_chunk, m_length - index * m_chunk));
        chunk.state = Chunk::kReady;
        uint32_t got = 0;
        bool grew = false;
        const auto read = [&] {
            got = m_source.Read(chunk.input.data() + kDictionary, chunk.length);
            // A source that grew while it was read (a log, a device) is refused
            // rather than cut.
            uint8_t beyond;
            if (got == chunk.length && chunk.last) grew = m_source.Read(&beyond, 1) != 0;
        };
        if (!m_result.failure.Catch(FileFailure::kRead, m_source.m_fileName, read))
            return Fail(ParallelDeflater::kFileFailed);
        if (got != chunk.length || grew) return Fail(ParallelDeflater::kLengthChanged);
        return true;
    }

    bool WriteChunk(const Chunk& chunk) {
        if (!WriteBytes(chunk.output.data(), chunk.outputLength)) return false;
        m_adler = adler32_combine(m_adler, chunk.adler, static_cast<z_off_t>(chunk.length));
        m_consumed += chunk.length;
        if (chunk.last) {
            const uint8_t trailer[4] = {static_cast<uint8_t>(m_adler >> 24),
                                        static_cast<uint8_t>(m_adler >> 16),
                                        static_cast<uint8_t>(m_adler >> 8), static_cast<uint8_t>(m_adler)};
            if (!WriteBytes(trailer, sizeof trailer)) return false;
        }
        if (m_progress != nullptr) m_progress->Advance(m_consumed);
        return true;
    }

    bool WriteBytes(const uint8_t* bytes, uint32_t count) {
        if (count > m_room - std::min(m_room, m_result.written)) return Fail(ParallelDeflater::kTooLong);
        if (!m_result.failure.Catch(FileFailure::kWrite, m_sink.m_fileName,
                                    [&] { m_sink.Write(bytes, count); }))
            return Fail(ParallelDeflater::kFileFailed);
        m_result.written += count;
        return true;
    }

    CFile& m_source;
    const uint32_t m_length;
    CFile& m_sink;
    const uint64_t m_room;
    const int32_t m_level;
    const int32_t m_iterations;
    const uint32_t m_chunk;
    const uint64_t m_chunkCount;
    EntryProgress* m_progress = nullptr;
    std::vector<Chunk> m_slots;
    ParallelDeflater::Result m_result;
    uLong m_adler = adler32(0, nullptr, 0);
    uint64_t m_consumed = 0;

    // Shared with the workers, under m_monitor.
    Monitor m_monitor;
    uint64_t m_queued = 0;  // chunks handed to the workers
    uint64_t m_taken = 0;   // chunks a worker took
    bool m_quit = false;
    // Last, so that its threads end before anything they use goes.
    WorkerThreads m_workers;
};

}  // namespace

ParallelDeflater::ParallelDeflater(int32_t threads, int32_t level, int32_t iterations)
    : m_threads(std::clamp(threads, 1, kMaxThreads)),
      m_level(level == kZopfliLevel ? level : std::clamp(level, 1, 9)),
      m_iterations(iterations) {}

ParallelDeflater::Result ParallelDeflater::Deflate(CFile& source, uint32_t length, CFile& sink, uint64_t room,
                                                   EntryProgress* progress) {
    // Memory is taken before the first byte is written, so this failure leaves
    // nothing in the sink.
    try {
        DeflateRun run(source, length, sink, room, m_level, m_iterations);
        return run.Run(m_threads, progress);
    } catch (const std::bad_alloc&) {
        Result result;
        result.outcome = kNoMemory;
        return result;
    }
}
