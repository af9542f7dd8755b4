#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/Utf8.h"
#include "package/StubCopy.h"

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0) close(m_fd);
    }
    int get() const { return m_fd; }
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* data, size_t count) {
    while (count > 0) {
        const ssize_t done = write(fd, data, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        count -= static_cast<size_t>(done);
    }
    return true;
}

bool CopyContents(int in, int out) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!WriteAll(out, buffer.data(), static_cast<size_t>(got))) return false;
    }
}

}  // namespace

bool CopyStubFile(const WideString& from, const WideString& to) {
    const std::string source = Utf8FromWide(from);
    const std::string target = Utf8FromWide(to);
    Descriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat sourceInfo;
    if (in.get() < 0 || fstat(in.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) return false;
    // Opened without truncation first: if both paths name one file, it stays intact.
    // A new file's mode comes from the umask: a read-only stub must not give a
    // read-only package that the writer then cannot open.
    Descriptor out(open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    struct stat targetInfo;
    if (out.get() < 0 || fstat(out.get(), &targetInfo) != 0) return false;
    if (targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino) return false;
    // Never a device or anything else that is not ours to truncate or unlink.
    if (!S_ISREG(targetInfo.st_mode)) return false;
    if (ftruncate(out.get(), 0) != 0 || !CopyContents(in.get(), out.get()) || !out.Close()) {
        unlink(target.c_str());
        return false;
    }
    return true;
}
