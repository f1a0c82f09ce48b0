// Worker processes on POSIX systems: fork and exec, the output through a
// non-blocking pipe, the address space capped with RLIMIT_AS.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

struct duplexa_worker_ {
    pid_t pid;
    int output;  // read end of the pipe, non-blocking
};

namespace {

void say(char* reason, std::size_t size, const char* what) {
    if (size) std::snprintf(reason, size, "%s: %s", what, std::strerror(errno));
}

// The running program, as the kernel knows it.
std::string own_program() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    return std::string(path, static_cast<std::size_t>(length));
}

WorkerEnd end_of(int status) {
    if (WIFSIGNALED(status)) return WorkerEnd{WorkerEndKind::crashed, WTERMSIG(status)};
    return WorkerEnd{WorkerEndKind::exited, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void sleep_milliseconds(int milliseconds) {
    timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

// Workers ended but not yet gone: the system takes a big worker's memory
// down in milliseconds, which ending it does not wait for. Each later call
// that starts or ends a worker reaps those that have gone since.
std::vector<pid_t> unreaped;

void reap_ended() {
    for (std::size_t i = 0; i < unreaped.size();) {
        int status = 0;
        const pid_t done = waitpid(unreaped[i], &status, WNOHANG);
        if (done == 0 || (done < 0 && errno == EINTR)) {
            ++i;
            continue;
        }
        unreaped[i] = unreaped.back();
        unreaped.pop_back();
    }
}

}  // namespace

WorkerHandle platform_start_worker(const char* program, const char* const* arguments, std::uint64_t memory_cap,
                                   char* reason, std::size_t reason_size) {
    // Everything the child needs is made before fork: after it, in a
    // program with other threads, only system calls are safe.
    reap_ended();
    const std::string path = program ? std::string(program) : own_program();
    if (path.empty()) {
        if (reason_size) std::snprintf(reason, reason_size, "the program's own file cannot be found");
        return nullptr;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const char* const* a = arguments; a && *a; ++a) argv.push_back(const_cast<char*>(*a));
    argv.push_back(nullptr);

    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return say(reason, reason_size, "no pipe"), nullptr;
    fcntl(pipe_ends[0], F_SETFD, FD_CLOEXEC);
    const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
#ifdef __linux__
        // The worker goes with the viewer, however the viewer ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
#endif
        if (memory_cap > 0) {
            rlimit cap = {static_cast<rlim_t>(memory_cap), static_cast<rlim_t>(memory_cap)};
            setrlimit(RLIMIT_AS, &cap);
        }
        if (null_input >= 0) dup2(null_input, STDIN_FILENO);
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const int fork_error = errno;
    if (null_input >= 0) close(null_input);
    close(pipe_ends[1]);
    if (pid < 0) {
        close(pipe_ends[0]);
        errno = fork_error;
        return say(reason, reason_size, "no process"), nullptr;
    }
    fcntl(pipe_ends[0], F_SETFL, fcntl(pipe_ends[0], F_GETFL) | O_NONBLOCK);
#ifdef F_SETPIPE_SZ
    // A bigger pipe: a model's arrays come through it in fewer turns.
    fcntl(pipe_ends[0], F_SETPIPE_SZ, 1 << 20);
#endif
    return new duplexa_worker_{pid, pipe_ends[0]};
}

long platform_read_worker(WorkerHandle worker, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(worker->output, buffer, size);
        if (got > 0) return static_cast<long>(got);
        if (got == 0) return -1;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

bool platform_wait_worker(WorkerHandle worker, int milliseconds) {
    pollfd ready = {worker->output, POLLIN, 0};
    return poll(&ready, 1, milliseconds) > 0;
}

WorkerEnd platform_finish_worker(WorkerHandle worker, int milliseconds) {
    int status = 0;
    WorkerEnd end = {WorkerEndKind::ended, 0};
    bool waited = false;
    for (int left = milliseconds; !waited; --left) {
        const pid_t done = waitpid(worker->pid, &status, WNOHANG);
        if (done == worker->pid || (done < 0 && errno != EINTR)) {
            waited = true;
            if (done == worker->pid) end = end_of(status);
        } else if (left <= 0) {
            kill(worker->pid, SIGKILL);
            waitpid(worker->pid, &status, 0);
            waited = true;
        } else {
            sleep_milliseconds(1);
        }
    }
    close(worker->output);
    delete worker;
    return end;
}

void platform_end_worker(WorkerHandle worker) {
    kill(worker->pid, SIGKILL);
    close(worker->output);
    unreaped.push_back(worker->pid);
    delete worker;
    reap_ended();
}

bool platform_write_worker_output(const void* bytes, std::size_t size) {
    const char* at = static_cast<const char*>(bytes);
#ifdef __linux__
    // Fails at once (EINVAL, EBADF) where the output is not a pipe.
    bool splice = true;
#endif
    while (size > 0) {
        ssize_t done = -1;
#ifdef __linux__
        if (splice) {
            iovec piece = {const_cast<char*>(at), size};
            done = vmsplice(STDOUT_FILENO, &piece, 1, 0);
            if (done < 0 && errno != EINTR && errno != EAGAIN) splice = false;
        }
        if (!splice)
#endif
            done = write(STDOUT_FILENO, at, size);
        if (done < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (done <= 0) return false;
        at += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

void platform_advise_large_pages(void* start, std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Whole huge pages only: madvise wants a page-aligned start.
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(start) + huge - 1) & ~(huge - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(huge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)start;
    (void)size;
#endif
}

// RLIMIT_AS makes the worker's own allocations fail: nothing to watch.
std::uint64_t platform_worker_memory(WorkerHandle) { return 0; }

void platform_prepare_worker_process() {
    // A viewer that has gone closes the pipe: the write then fails instead
    // of ending the worker by a signal that would read as a crash.
    signal(SIGPIPE, SIG_IGN);
}
