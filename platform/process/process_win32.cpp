// Worker processes on Windows: CreateProcessW with the standard handles set,
// inside a job object that carries the memory cap and kills the worker when
// our handle to it closes (also when we crash or are killed ourselves). Wine
// keeps the job's memory limit without enforcing it: there the caller holds
// the worker to its cap by what platform_worker_memory reads.
#include "platform/process.h"

#include "platform/gl.h"  // <windows.h> the way every file of the build has it

#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

struct duplexa_worker_ {
    HANDLE process;
    HANDLE output;  // read end of the worker's standard output
    HANDLE job;
};

namespace {

// How long ending a worker may wait for the system to take it down.
constexpr DWORD end_wait_ms = 5000;
// What TerminateProcess leaves as the exit code of a worker we end.
constexpr UINT ended_exit_code = 1;
// Stack kept free for the exception filter when the stack overflows.
constexpr ULONG stack_reserve = 64 * 1024;
// What an abort() ends the worker with: the code a fast-fail abort of the
// Microsoft run time gives, so both builds report the same crash.
constexpr DWORD abort_exit_code = 0xC0000409;

void copy_reason(const char* text, char* reason, std::size_t reason_size) {
    if (reason == nullptr || reason_size == 0) return;
    std::size_t full = std::strlen(text);
    std::size_t length = std::min(full, reason_size - 1);
    // Never end on half a UTF-8 sequence.
    while (length > 0 && length < full && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(reason, text, length);
    reason[length] = '\0';
}

// "what: the system's message for error", in UTF-8.
void set_reason(const char* what, DWORD error, char* reason, std::size_t reason_size) {
    wchar_t wide[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, wide,
                                  sizeof wide / sizeof wide[0], nullptr);
    while (length > 0 && (wide[length - 1] == L'\r' || wide[length - 1] == L'\n' || wide[length - 1] == L' ')) --length;
    char message[1024] = "";
    int written = length > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), message,
                                                   sizeof message - 1, nullptr, nullptr)
                             : 0;
    if (written > 0)
        message[written] = '\0';
    else
        std::snprintf(message, sizeof message, "system error %lu", static_cast<unsigned long>(error));
    char text[1200];
    std::snprintf(text, sizeof text, "%s: %s", what, message);
    copy_reason(text, reason, reason_size);
}

bool widen(const char* text, std::wstring* out) {
    out->clear();
    if (text[0] == '\0') return true;
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (size <= 0) return false;
    out->resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &(*out)[0], size);
    out->resize(static_cast<std::size_t>(size - 1));
    return true;
}

bool running_program(std::wstring* out) {
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
        out->resize(capacity);
        DWORD length = GetModuleFileNameW(nullptr, &(*out)[0], capacity);
        if (length == 0) return false;
        if (length < capacity) {
            out->resize(length);
            return true;
        }
    }
    return false;
}

// One argument as CommandLineToArgvW (and the C run time) will split it
// again: quoted when it has blanks or quotes or is empty; inside the quotes
// backslashes are literal except before a quote, where they are doubled.
void append_argument(const std::wstring& argument, std::wstring* line) {
    *line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *line += argument;
        return;
    }
    *line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        *line += c;
    }
    line->append(backslashes * 2, L'\\');  // they stand before the closing quote
    *line += L'"';
}

void close_handle(HANDLE* handle) {
    if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
    *handle = nullptr;
}

void release(WorkerHandle worker) {
    close_handle(&worker->output);
    close_handle(&worker->process);
    close_handle(&worker->job);  // kills whatever is still in it
    delete worker;
}

HANDLE make_job(std::uint64_t memory_cap) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    // DIE_ON_UNHANDLED_EXCEPTION also covers a crash before the worker has
    // set its own filter (in static constructors, say).
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (memory_cap > 0) {
        limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        limits.ProcessMemoryLimit = static_cast<SIZE_T>(std::min<std::uint64_t>(memory_cap, SIZE_MAX));
    }
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        DWORD error = GetLastError();
        CloseHandle(job);
        SetLastError(error);
        return nullptr;
    }
    return job;
}

// The handles the worker gets as its standard ones, all inheritable; only
// these are passed on (the handle list), so a worker started at the same
// time on another thread cannot keep this one's pipe open.
struct ChildHandles {
    HANDLE input = nullptr;   // NUL
    HANDLE output = nullptr;  // write end of the pipe
    HANDLE error = nullptr;   // a copy of our standard error, or NUL
    ~ChildHandles() {
        close_handle(&input);
        close_handle(&output);
        close_handle(&error);
    }
};

bool make_child_handles(HANDLE* read_end, ChildHandles* child, const char** failed) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    *failed = "CreatePipe";
    if (!CreatePipe(read_end, &child->output, &inherit, 1 << 16)) return false;
    *failed = "SetHandleInformation";
    if (!SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0)) return false;
    *failed = "opening NUL";
    child->input = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    if (child->input == INVALID_HANDLE_VALUE) return false;
    // A program without a console may have no standard error at all.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), error, GetCurrentProcess(), &child->error, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        child->error = nullptr;
    return true;
}

LONG WINAPI end_at_once(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void abort_at_once(int) { TerminateProcess(GetCurrentProcess(), abort_exit_code); }

}  // namespace

WorkerHandle platform_start_worker(const char* program, const char* const* arguments, std::uint64_t memory_cap,
                                   char* reason, std::size_t reason_size) {
    copy_reason("", reason, reason_size);
    std::wstring path;
    if (program != nullptr ? !widen(program, &path) : !running_program(&path)) {
        copy_reason(program != nullptr ? "the program's name is not UTF-8" : "the running program's name is unknown",
                    reason, reason_size);
        return nullptr;
    }
    // The first word is split by its own rule: up to the closing quote.
    std::wstring line = L"\"" + path + L"\"";
    std::wstring argument;
    for (const char* const* each = arguments; each != nullptr && *each != nullptr; ++each) {
        if (!widen(*each, &argument)) {
            copy_reason("an argument is not UTF-8", reason, reason_size);
            return nullptr;
        }
        append_argument(argument, &line);
    }

    WorkerHandle worker = new (std::nothrow) duplexa_worker_{nullptr, nullptr, nullptr};
    if (worker == nullptr) {
        copy_reason("out of memory", reason, reason_size);
        return nullptr;
    }
    ChildHandles child;
    const char* failed = "CreateJobObject";
    worker->job = make_job(memory_cap);
    if (worker->job == nullptr || !make_child_handles(&worker->output, &child, &failed)) {
        set_reason(failed, GetLastError(), reason, reason_size);
        release(worker);
        return nullptr;
    }
    HANDLE error = child.error != nullptr ? child.error : child.input;
    HANDLE inherited[3] = {child.input, child.output, error};
    DWORD inherited_count = error == child.input ? 2 : 3;

    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::string list_bytes(list_size, '\0');
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&list_bytes[0]);
    if (!InitializeProcThreadAttributeList(list, 1, 0, &list_size) ||
        !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   inherited_count * sizeof(HANDLE), nullptr, nullptr)) {
        set_reason("UpdateProcThreadAttribute", GetLastError(), reason, reason_size);
        release(worker);
        return nullptr;
    }
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = child.input;
    startup.StartupInfo.hStdOutput = child.output;
    startup.StartupInfo.hStdError = error;
    startup.lpAttributeList = list;

    // Suspended until it is in the job, so that it never runs uncapped.
    PROCESS_INFORMATION started = {};
    BOOL created = CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, TRUE,
                                  CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                  &startup.StartupInfo, &started);
    DWORD create_error = GetLastError();
    DeleteProcThreadAttributeList(list);
    if (!created) {
        set_reason("CreateProcess", create_error, reason, reason_size);
        release(worker);
        return nullptr;
    }
    worker->process = started.hProcess;
    if (!AssignProcessToJobObject(worker->job, started.hProcess)) {
        set_reason("AssignProcessToJobObject", GetLastError(), reason, reason_size);
        TerminateProcess(started.hProcess, ended_exit_code);
        CloseHandle(started.hThread);
        release(worker);
        return nullptr;
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    return worker;
}

long platform_read_worker(WorkerHandle worker, void* buffer, std::size_t size) {
    DWORD available = 0;
    // Fails once the write end is closed and the pipe is empty.
    if (!PeekNamedPipe(worker->output, nullptr, 0, nullptr, &available, nullptr)) return -1;
    if (available == 0 || size == 0) return 0;
    DWORD wanted = static_cast<DWORD>(std::min<std::size_t>({available, size, LONG_MAX}));
    DWORD got = 0;
    if (!ReadFile(worker->output, buffer, wanted, &got, nullptr)) return -1;
    return static_cast<long>(got);
}

bool platform_wait_worker(WorkerHandle worker, int milliseconds) {
    // An anonymous pipe cannot be waited on: look at it in steps growing to
    // 16 ms, waking at once when the worker ends (its end breaks the pipe).
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(milliseconds, 0));
    DWORD step = 1;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(worker->output, nullptr, 0, nullptr, &available, nullptr) || available > 0) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(step, deadline - now));
        // Ended, yet something it started still holds the pipe: sleep instead.
        if (WaitForSingleObject(worker->process, wait) != WAIT_TIMEOUT) Sleep(wait);
        step = std::min<DWORD>(step * 2, 16);
    }
}

WorkerEnd platform_finish_worker(WorkerHandle worker, int milliseconds) {
    WorkerEnd end = {WorkerEndKind::ended, static_cast<long>(ended_exit_code)};
    DWORD code = 0;
    if (WaitForSingleObject(worker->process, static_cast<DWORD>(std::max(milliseconds, 0))) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(worker->process, &code)) {
        // Exception codes (NTSTATUS errors) are what the system ends a
        // crashed process with; our filter keeps to that.
        end.kind = code >= 0xC0000000u ? WorkerEndKind::crashed : WorkerEndKind::exited;
        end.code = static_cast<long>(code);
    } else {
        TerminateProcess(worker->process, ended_exit_code);
        WaitForSingleObject(worker->process, end_wait_ms);
    }
    release(worker);
    return end;
}

void platform_end_worker(WorkerHandle worker) {
    TerminateProcess(worker->process, ended_exit_code);
    WaitForSingleObject(worker->process, end_wait_ms);
    release(worker);
}

std::uint64_t platform_worker_memory(WorkerHandle worker) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(worker->process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        return 0;
    return std::max<std::uint64_t>(counters.PrivateUsage, counters.PagefileUsage);
}

bool platform_write_worker_output(const void* bytes, std::size_t size) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, DWORD(1) << 30));
        if (!WriteFile(output, at, piece, &written, nullptr) || written == 0) return false;
        at += written;
        size -= written;
    }
    return true;
}

// Large pages need a privilege that users do not have.
void platform_advise_large_pages(void*, std::size_t) {}

void platform_prepare_worker_process() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_at_once);
    ULONG reserve = stack_reserve;
    SetThreadStackGuarantee(&reserve);
    // abort() (an uncaught C++ exception among others): no "Runtime error"
    // box from the C run time, and a crash code rather than exit code 3.
    _set_error_mode(_OUT_TO_STDERR);
    std::signal(SIGABRT, abort_at_once);
    _setmode(_fileno(stdout), _O_BINARY);
}
