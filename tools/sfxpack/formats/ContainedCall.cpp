#include "tools/sfxpack/formats/ContainedCall.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SFX_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SFX_UNDER_ASAN 1
#endif

#ifdef SFX_UNDER_ASAN
const bool kContainedMemoryLimited = false;
#else
const bool kContainedMemoryLimited = true;
#endif

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Reset(); }
    int get() const { return m_fd; }
    void Reset() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

void Limit(int resource, rlim_t value) {
    const struct rlimit limit = {value, value};
    setrlimit(resource, &limit);
}

[[noreturn]] void RunChild(const std::function<std::string()>& work, const ContainedLimits& limits, int out,
                           pid_t parent) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may already be gone. Compared with its number, not with 1: the packer
    // may itself be process 1 of a namespace.
    if (getppid() != parent) _exit(2);
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) dup2(null, STDERR_FILENO);
    Limit(RLIMIT_CORE, 0);
    Limit(RLIMIT_FSIZE, 0);  // reading needs no written file
    Limit(RLIMIT_CPU, static_cast<rlim_t>(limits.seconds) + 1);
    if (kContainedMemoryLimited) Limit(RLIMIT_AS, static_cast<rlim_t>(limits.megabytes) << 20);
    std::string answer;
    try {
        answer = work();
    } catch (...) {
        _exit(3);
    }
    const char* at = answer.data();
    size_t left = answer.size();
    while (left > 0) {
        const ssize_t done = write(out, at, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) _exit(4);
        at += done;
        left -= static_cast<size_t>(done);
    }
    // _exit: no atexit handler, stream flush or leak check of the parent's runs here.
    _exit(0);
}

}  // namespace

ContainedOutcome RunContained(const std::function<std::string()>& work, const ContainedLimits& limits,
                              std::string* answer) {
    answer->clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return ContainedOutcome::kNotStarted;
    Descriptor readEnd(fds[0]);
    Descriptor writeEnd(fds[1]);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) return ContainedOutcome::kNotStarted;
    if (child == 0) RunChild(work, limits, writeEnd.get(), parent);
    writeEnd.Reset();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limits.seconds);
    bool timedOut = false;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        struct pollfd wait = {readEnd.get(), POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the deadline is checked above
        const ssize_t got = read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // end of the answer
        answer->append(buffer, static_cast<size_t>(got));
    }
    // A child that closed its end may still be busy: it keeps to the same deadline.
    int status = 0;
    while (!timedOut) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) break;
        if (Clock::now() >= deadline) timedOut = true;
        if (!timedOut) usleep(2000);
    }
    if (timedOut) {
        kill(child, SIGKILL);
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (timedOut) {
        answer->clear();
        return ContainedOutcome::kTimedOut;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ContainedOutcome::kAnswered;
    answer->clear();
    return ContainedOutcome::kCrashed;
}
