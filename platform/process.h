// Worker processes: a copy of the running program started with other
// arguments, whose standard output comes back through a pipe. Used to run
// code we do not trust with the user's session (the model importer): if it
// crashes, runs out of memory or hangs, only the worker goes.
//
// One implementation per operating system (platform/process/), shared by
// every backend of that system. The parent side never waits unless asked to.
#pragma once

#include <cstddef>
#include <cstdint>

typedef struct duplexa_worker_* WorkerHandle;

// How a worker ended.
enum class WorkerEndKind {
    exited,   // of its own accord, with `code`
    crashed,  // a signal (POSIX) or an unhandled exception (Windows), `code` its number
    ended,    // by platform_end_worker
};
struct WorkerEnd {
    WorkerEndKind kind;
    long code;
};

// Starts `program` (UTF-8; null: the running program itself) with
// arguments[0..] (UTF-8, null-terminated list, the program name not
// included). Its standard input is empty, its standard output a pipe we read,
// its standard error ours. Its address space (POSIX) or committed memory
// (Windows) is capped at memory_cap bytes (0: no cap). The worker also ends
// when the parent does. Null on failure, with the reason in `reason`.
WorkerHandle platform_start_worker(const char* program, const char* const* arguments, std::uint64_t memory_cap,
                                   char* reason, std::size_t reason_size);

// Reads what the worker has written, without waiting: the bytes read, 0 when
// nothing is waiting, -1 when its output has ended (closed, or the worker
// gone) and nothing is left to read.
long platform_read_worker(WorkerHandle worker, void* buffer, std::size_t size);

// Waits at most `milliseconds` for output to read or for its end. True when
// platform_read_worker would now return something other than 0.
bool platform_wait_worker(WorkerHandle worker, int milliseconds);

// After its output has ended: waits at most `milliseconds` for the worker to
// end (ending it after that), releases the handle and tells how it ended.
WorkerEnd platform_finish_worker(WorkerHandle worker, int milliseconds);

// Ends the worker at once, whatever it is doing, and releases the handle.
// Never waits for the system to take a big worker down (POSIX: the process
// is reaped by a later start or end); Windows waits for it to be gone.
void platform_end_worker(WorkerHandle worker);

// The memory the worker holds, in bytes, read without waiting, for the
// caller to hold it to a cap that the system may leave unenforced: Wine
// takes a job's memory limit and does nothing with it. 0 where the system
// enforces the cap itself (POSIX: RLIMIT_AS) or cannot tell. Windows: its
// private bytes (committed; under Wine, its resident anonymous pages).
std::uint64_t platform_worker_memory(WorkerHandle worker);

// In the worker, first thing: a crash ends the process quietly with a crash
// code (no crash dialog, no debugger), and its standard output is binary.
void platform_prepare_worker_process();

// In the worker: writes `size` bytes straight to its standard output (what
// stdio holds must have been flushed first). Where the system can (Linux:
// vmsplice), the pipe takes the pages themselves instead of a copy: they must
// stay as they are until the worker ends. False when the output failed.
bool platform_write_worker_output(const void* bytes, std::size_t size);

// Memory that a worker's big reply is about to be read into: asks for large
// pages (Linux: transparent huge pages), which take the bytes in with far
// fewer page faults. Only a hint; nothing where the system has none.
void platform_advise_large_pages(void* start, std::size_t size);
