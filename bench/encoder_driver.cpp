// The packer's encoder and its large-block extraction path, alone, for bench/encoder.sh.
//   encoder_driver deflate THREADS LEVEL IN OUT     one zlib stream of IN (OUT may be /dev/null)
//   encoder_driver inflate IN SIZE OUT [--plain]    inflate the zlib stream IN (SIZE bytes once
//                                                   inflated) on the packer's inflate path, through
//                                                   the large blocks or (--plain) 4096-byte calls
//   encoder_driver verify IN SIZE [--plain]         the same, writing nothing
// Prints the stream's length (deflate); exits 0 on success.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/SelfExtractor.h"
#include "package/reader/BufferedSink.h"
#include "package/reader/BufferedSource.h"
#include "package/writer/ParallelDeflater.h"

namespace {

WideString Path(const char* utf8) {
    return WideFromUtf8(utf8);
}

class Inflater : public SelfExtractor {
public:
    Inflater() : SelfExtractor(WideString{}) {}
    using SelfExtractor::InflateEntry;
};

int Deflate(int threads, int level, const char* in, const char* out) {
    CFile source, sink;
    if (!source.Open(Path(in).c_str(), CFile::accessRead) ||
        !sink.Open(Path(out).c_str(), CFile::create | CFile::accessWrite)) {
        std::perror("open");
        return 1;
    }
    ParallelDeflater deflater(threads, level);
    const ParallelDeflater::Result result = deflater.Deflate(source, source.GetLength(), sink);
    if (result.outcome != ParallelDeflater::kDeflated) {
        std::fprintf(stderr, "deflate failed: outcome %d, cause %d\n", result.outcome, result.failure.cause);
        return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(result.written));
    return 0;
}

int Inflate(const char* in, uint32_t size, const char* out, bool plain) {
    CFile package, target;
    if (!package.Open(Path(in).c_str(), CFile::accessRead) ||
        (out != nullptr && !target.Open(Path(out).c_str(), CFile::create | CFile::accessWrite))) {
        std::perror("open");
        return 1;
    }
    PackageEntry entry;
    entry.size = size;
    entry.compressedSize = package.GetLength();
    auto inflater = std::make_unique<Inflater>();
    PackageResult result;
    if (plain) {
        result = inflater->InflateEntry(package, entry, out != nullptr ? &target : nullptr);
    } else {
        BufferedSource source(package);
        BufferedSink sink(target);
        result = inflater->InflateEntry(source, entry, out != nullptr ? &sink : nullptr);
        if (result == SFX_OK && out != nullptr) sink.WriteHeld();
    }
    if (result != SFX_OK) {
        std::fprintf(stderr, "inflate failed: %d\n", result);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 6 && std::strcmp(argv[1], "deflate") == 0) {
            return Deflate(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5]);
        }
        const auto size = [&] { return static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)); };
        const auto plain = [&](int at) { return argc == at + 1 && std::strcmp(argv[at], "--plain") == 0; };
        if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "inflate") == 0) {
            return Inflate(argv[2], size(), argv[4], plain(5));
        }
        if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "verify") == 0) {
            return Inflate(argv[2], size(), nullptr, plain(4));
        }
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        std::fprintf(stderr, "file error, cause %d\n", error->m_cause);
        return 1;
    }
    std::fprintf(
        stderr,
        "usage: encoder_driver deflate THREADS LEVEL IN OUT | encoder_driver inflate IN SIZE OUT [--plain]"
        " | encoder_driver verify IN SIZE [--plain]\n");
    return 2;
}
