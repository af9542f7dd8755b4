/* A failing disk for the packer's black-box tests, preloaded (LD_PRELOAD) into the
 * program under test. A read() or write() (or pread, pwrite, which Wine may call) of
 * a file whose path holds $SFX_FAIL_FILE fails with errno $SFX_FAIL_ERRNO when it
 * touches the bytes from $SFX_FAIL_AT on ($SFX_FAIL_LENGTH of them, else all), as a
 * bad sector or a full disk does; $SFX_FAIL_SIDE (read or write) says which calls
 * fail. Everything else goes to the C library.
 *
 * It includes no header, so that one source builds for the native packer and for
 * Wine's 32-bit processes alike (no 32-bit C headers are installed), and declares
 * the little it takes from the C library itself. */

typedef __SIZE_TYPE__ size_t;
typedef __PTRDIFF_TYPE__ ssize_t; /* the width of ssize_t on both Linux ABIs */
typedef long long offset64;

extern void* dlsym(void* handle, const char* symbol);
extern char* getenv(const char* name);
extern int* __errno_location(void);
extern ssize_t readlink(const char* path, char* buffer, size_t size);
extern int snprintf(char* buffer, size_t size, const char* format, ...);
extern offset64 lseek64(int fd, offset64 offset, int whence);
extern long long atoll(const char* text);
extern char* strstr(const char* text, const char* part);

#define RTLD_NEXT ((void*)-1l)
#define SEEK_CUR 1
#define EIO 5

static long long Number(const char* name, long long otherwise) {
    const char* text = getenv(name);
    return text != 0 && *text != 0 ? atoll(text) : otherwise;
}

static int Same(const char* a, const char* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

/* True, with errno set, when this call on fd is one that fails; offset is where it
 * starts, -1 for the file's position. */
static int Fails(const char* side, int fd, offset64 offset, size_t count) {
    const char* wanted = getenv("SFX_FAIL_SIDE");
    const char* file = getenv("SFX_FAIL_FILE");
    if (wanted == 0 || file == 0 || *file == 0 || !Same(wanted, side) || count == 0) return 0;
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return 0;
    path[length] = 0;
    if (strstr(path, file) == 0) return 0;
    if (offset < 0) offset = lseek64(fd, 0, SEEK_CUR);
    if (offset < 0) return 0;
    const long long first = Number("SFX_FAIL_AT", 0);
    const long long end = first + Number("SFX_FAIL_LENGTH", 1ll << 62);
    if (offset + (long long)count <= first || offset >= end) return 0;
    *__errno_location() = (int)Number("SFX_FAIL_ERRNO", EIO);
    return 1;
}

/* The calls that may fail: each is the C library's own, found the first time it is
 * made, unless this one fails. pread and pwrite take an off_t, a long on both ABIs. */
#define STREAMED(name, side, Buffer)                                                   \
    ssize_t name(int fd, Buffer buffer, size_t count) {                                \
        static ssize_t (*real)(int, Buffer, size_t);                                   \
        if (real == 0) real = (ssize_t(*)(int, Buffer, size_t))dlsym(RTLD_NEXT, #name); \
        return Fails(side, fd, -1, count) ? -1 : real(fd, buffer, count);              \
    }
#define POSITIONED(name, side, Buffer, Offset)                                                 \
    ssize_t name(int fd, Buffer buffer, size_t count, Offset offset) {                         \
        static ssize_t (*real)(int, Buffer, size_t, Offset);                                   \
        if (real == 0) real = (ssize_t(*)(int, Buffer, size_t, Offset))dlsym(RTLD_NEXT, #name); \
        return Fails(side, fd, offset, count) ? -1 : real(fd, buffer, count, offset);          \
    }

STREAMED(read, "read", void*)
STREAMED(write, "write", const void*)
POSITIONED(pread, "read", void*, long)
POSITIONED(pwrite, "write", const void*, long)
POSITIONED(pread64, "read", void*, offset64)
POSITIONED(pwrite64, "write", const void*, offset64)
