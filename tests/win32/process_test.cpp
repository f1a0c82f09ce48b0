// Worker processes against the real system (Wine): this program is its own
// worker. Started with the hidden `--as-worker KIND ...` it does only what
// KIND says; otherwise it runs the tests, which start it that way.
#include "platform/gl.h"  // <windows.h> first

#include <gtest/gtest.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

constexpr std::size_t mebibyte = 1 << 20;

std::vector<std::string> utf8_arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &argument[0], size, nullptr, nullptr);
        argument.resize(argument.size() - 1);
        arguments.push_back(argument);
    }
    if (wide != nullptr) LocalFree(wide);
    return arguments;
}

// No period that a lost or doubled power-of-two piece would hide behind.
unsigned char pattern_byte(std::size_t i) { return static_cast<unsigned char>(i * 131 + i / 65521); }

// Reads until the output ends, or (stop_at_newline) a line has come; gives
// up after 10 s. `ended`: the output ended.
struct Output {
    std::string bytes;
    bool ended;
};
Output read_output(WorkerHandle worker, bool stop_at_newline) {
    Output output = {std::string(), false};
    char buffer[4096];
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < give_up) {
        long got = platform_read_worker(worker, buffer, sizeof buffer);
        if (got < 0) {
            output.ended = true;
            break;
        }
        output.bytes.append(buffer, static_cast<std::size_t>(got));
        if (stop_at_newline && output.bytes.find('\n') != std::string::npos) break;
        if (got == 0) platform_wait_worker(worker, 100);
    }
    return output;
}

// ---- The worker's side ----

volatile bool keep_recursing = true;
long recurse(long depth) {
    volatile char frame[1024];
    frame[depth & 1023] = static_cast<char>(depth);
    if (!keep_recursing) return 0;
    return recurse(depth + 1) + frame[0];
}

void out_of_memory() { std::_Exit(3); }

void print_process_id() {
    std::printf("%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
    std::fflush(stdout);
}

// arguments: program, --as-worker, KIND, its arguments.
int run_worker(const std::vector<std::string>& arguments) {
    platform_prepare_worker_process();
    const std::string& kind = arguments[2];
    long number = arguments.size() > 3 ? std::atol(arguments[3].c_str()) : 0;
    if (kind == "echo") {  // each argument on a line of its own
        for (std::size_t i = 3; i < arguments.size(); ++i) std::printf("%s\n", arguments[i].c_str());
        return 0;
    }
    if (kind == "pattern") {  // `number` MiB of pattern_byte
        std::vector<unsigned char> block(mebibyte);
        for (std::size_t start = 0; start < number * mebibyte; start += mebibyte) {
            for (std::size_t i = 0; i < mebibyte; ++i) block[i] = pattern_byte(start + i);
            std::fwrite(block.data(), 1, block.size(), stdout);
        }
        return 0;
    }
    if (kind == "exit") return static_cast<int>(number);
    if (kind == "crash") {
        int* volatile target = nullptr;
        *target = 1;
    }
    if (kind == "overflow") return static_cast<int>(recurse(0));
    if (kind == "abort") std::abort();
    if (kind == "hang") {
        print_process_id();
        Sleep(INFINITE);
    }
    if (kind == "allocate" || kind == "hold") {  // `number` MiB, each page written to; hold: then a line, and wait
        std::set_new_handler(out_of_memory);
        std::vector<char*> blocks;
        blocks.reserve(static_cast<std::size_t>(number));
        for (long i = 0; i < number; ++i) {
            blocks.push_back(new char[mebibyte]);
            std::memset(blocks.back(), 1, mebibyte);
        }
        if (kind == "hold") {
            print_process_id();
            Sleep(INFINITE);
        }
        return 0;
    }
    if (kind == "parent") {  // starts a hanging worker: "our id\nits id\n"
        const char* hang[] = {"--as-worker", "hang", nullptr};
        char reason[256];
        WorkerHandle child = platform_start_worker(nullptr, hang, 0, reason, sizeof reason);
        if (child == nullptr) return 101;
        Output child_id = read_output(child, true);
        print_process_id();
        std::printf("%s", child_id.bytes.c_str());
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    return 100;
}

// ---- The tests' side ----

WorkerHandle start_worker(std::vector<const char*> arguments, std::uint64_t memory_cap = 0) {
    arguments.insert(arguments.begin(), "--as-worker");
    arguments.push_back(nullptr);
    char reason[512];
    WorkerHandle worker = platform_start_worker(nullptr, arguments.data(), memory_cap, reason, sizeof reason);
    EXPECT_NE(nullptr, worker) << reason;
    return worker;
}

// A process by the id it printed, to see it end.
HANDLE open_printed_process(const std::string& id) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::strtoul(id.c_str(), nullptr, 10));
    EXPECT_NE(nullptr, process) << "no process " << id;
    return process;
}

bool has_ended(HANDLE process, DWORD milliseconds) {
    return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

struct EndingCase {
    const char* name;
    std::vector<const char*> arguments;
    std::uint64_t memory_cap;
    WorkerEndKind kind;
    unsigned long code;
};

// Runs the worker to its end: how it ended, and how long that took.
WorkerEnd run_to_end(const EndingCase& c, std::chrono::steady_clock::duration* taken = nullptr) {
    auto started = std::chrono::steady_clock::now();
    WorkerHandle worker = start_worker(c.arguments, c.memory_cap);
    if (worker == nullptr) return {WorkerEndKind::ended, -1};
    EXPECT_TRUE(read_output(worker, false).ended);
    WorkerEnd end = platform_finish_worker(worker, 5000);
    if (taken != nullptr) *taken = std::chrono::steady_clock::now() - started;
    return end;
}

TEST(WorkerEnd, TellsHowTheWorkerEnded) {
    const EndingCase cases[] = {
        {"exit 0", {"exit", "0"}, 0, WorkerEndKind::exited, 0},
        {"exit 7", {"exit", "7"}, 0, WorkerEndKind::exited, 7},
        {"null write", {"crash"}, 0, WorkerEndKind::crashed, 0xC0000005},
        {"stack overflow", {"overflow"}, 0, WorkerEndKind::crashed, 0xC00000FD},
        {"abort", {"abort"}, 0, WorkerEndKind::crashed, 0xC0000409},
        {"200 MiB, no cap", {"allocate", "200"}, 0, WorkerEndKind::exited, 0},
    };
    for (const EndingCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::chrono::steady_clock::duration taken{};
        WorkerEnd end = run_to_end(c, &taken);
        EXPECT_EQ(c.kind, end.kind);
        EXPECT_EQ(c.code, static_cast<unsigned long>(end.code));
        // A debugger or a crash dialog would hold the worker for seconds.
        if (c.kind == WorkerEndKind::crashed) {
            EXPECT_LT(taken, std::chrono::seconds(1));
        }
    }
}

TEST(WorkerEnd, TheMemoryCapMakesAllocationFail) {
    // Wine takes the job's memory limit and does nothing with it.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr)
        GTEST_SKIP() << "Wine does not enforce a job's memory limit";
    WorkerEnd end = run_to_end({"200 MiB, 64 MiB cap", {"allocate", "200"}, 64 * mebibyte, WorkerEndKind::exited, 3});
    EXPECT_EQ(WorkerEndKind::exited, end.kind);
    EXPECT_EQ(3, end.code);
}

// What the viewer holds the worker to its cap by where the job's limit is
// not enforced: the memory a worker has taken, seen from outside it.
TEST(WorkerMemory, WhatTheWorkerHoldsIsSeenFromOutside) {
    WorkerHandle small = start_worker({"hold", "0"});
    WorkerHandle big = start_worker({"hold", "200"});
    ASSERT_NE(nullptr, small);
    ASSERT_NE(nullptr, big);
    read_output(small, true);
    read_output(big, true);
    const std::uint64_t small_bytes = platform_worker_memory(small), big_bytes = platform_worker_memory(big);
    EXPECT_LT(small_bytes, 200 * mebibyte);
    EXPECT_GE(big_bytes, 200 * mebibyte);
    EXPECT_LT(big_bytes, small_bytes + 300 * mebibyte);
    platform_end_worker(small);
    platform_end_worker(big);
}

TEST(WorkerOutput, ArgumentsAndBytesComeBackExactly) {
    std::vector<const char*> texts = {"plain",
                                      "two words\tand a tab",
                                      "a \"quoted\" word",
                                      "back\\slash\\\\ and \\\" before a quote",
                                      "ends in backslashes\\\\",
                                      "",
                                      "\u010d\u0161\u0165\u017e \u00fc \u65e5\u672c \u2713",
                                      "line\nfeed, \r return and \x1a end of file"};
    std::vector<const char*> arguments = {"echo"};
    arguments.insert(arguments.end(), texts.begin(), texts.end());
    WorkerHandle worker = start_worker(arguments);
    ASSERT_NE(nullptr, worker);
    std::string expected;
    for (const char* text : texts) expected += std::string(text) + "\n";
    Output output = read_output(worker, false);
    EXPECT_EQ(expected, output.bytes);
    EXPECT_TRUE(output.ended);
    WorkerEnd end = platform_finish_worker(worker, 5000);
    EXPECT_EQ(WorkerEndKind::exited, end.kind);
}

TEST(WorkerOutput, ALargeBlockComesInPiecesThenTheEnd) {
    const std::size_t size = 64 * mebibyte;
    WorkerHandle worker = start_worker({"pattern", "64"});
    ASSERT_NE(nullptr, worker);
    std::vector<unsigned char> buffer(mebibyte);
    std::size_t received = 0, pieces = 0, wrong = 0;
    long got = 0;
    while ((got = platform_read_worker(worker, buffer.data(), buffer.size())) >= 0) {
        if (got == 0 && !platform_wait_worker(worker, 10000)) break;
        for (long i = 0; i < got; ++i) wrong += buffer[i] != pattern_byte(received + i);
        received += static_cast<std::size_t>(got);
        pieces += got > 0;
    }
    EXPECT_EQ(-1, got);
    EXPECT_EQ(size, received);
    EXPECT_EQ(0u, wrong);
    EXPECT_GT(pieces, 1u);
    EXPECT_EQ(-1, platform_read_worker(worker, buffer.data(), buffer.size()));  // and stays ended
    EXPECT_EQ(WorkerEndKind::exited, platform_finish_worker(worker, 5000).kind);
}

TEST(WorkerHang, ReadNeverWaitsAndEndStopsIt) {
    WorkerHandle worker = start_worker({"hang"});
    ASSERT_NE(nullptr, worker);
    HANDLE process = open_printed_process(read_output(worker, true).bytes);
    // Read on a thread of its own: should it block, ending the worker
    // breaks the pipe and frees it.
    auto read = std::async(std::launch::async, [worker] {
        char byte;
        return platform_read_worker(worker, &byte, 1);
    });
    bool returned = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "platform_read_worker waited for a silent worker";
    if (returned) {
        EXPECT_EQ(0, read.get());
        EXPECT_FALSE(platform_wait_worker(worker, 100));
    }
    platform_end_worker(worker);
    EXPECT_TRUE(has_ended(process, 0));
    CloseHandle(process);
}

TEST(WorkerHang, FinishEndsItAfterItsTime) {
    WorkerHandle worker = start_worker({"hang"});
    ASSERT_NE(nullptr, worker);
    HANDLE process = open_printed_process(read_output(worker, true).bytes);
    EXPECT_EQ(WorkerEndKind::ended, platform_finish_worker(worker, 200).kind);
    EXPECT_TRUE(has_ended(process, 0));
    CloseHandle(process);
}

TEST(WorkerProcess, DiesWithTheProgramThatStartedIt) {
    WorkerHandle parent = start_worker({"parent"});
    ASSERT_NE(nullptr, parent);
    Output output = read_output(parent, true);
    std::size_t line_end = output.bytes.find('\n');
    if (output.bytes.find('\n', line_end + 1) == std::string::npos) output.bytes += read_output(parent, true).bytes;
    HANDLE parent_process = open_printed_process(output.bytes);
    HANDLE child = open_printed_process(output.bytes.substr(line_end + 1));
    // Killed, as a crash or the task manager would: no cleanup of its own.
    TerminateProcess(parent_process, 1);
    EXPECT_TRUE(has_ended(child, 10000));
    TerminateProcess(child, 1);  // left over only when the check failed
    platform_end_worker(parent);
    CloseHandle(parent_process);
    CloseHandle(child);
}

TEST(WorkerStart, FailsWithAReason) {
    const char* arguments[] = {"x", nullptr};
    const char* not_utf8[] = {"\xff\xfe", nullptr};
    struct {
        const char* program;
        const char* const* arguments;
    } cases[] = {{"C:\\no\\such\\program.exe", arguments}, {nullptr, not_utf8}};
    for (const auto& c : cases) {
        char reason[256] = "";
        EXPECT_EQ(nullptr, platform_start_worker(c.program, c.arguments, 0, reason, sizeof reason));
        EXPECT_NE('\0', reason[0]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments = utf8_arguments();
    if (arguments.size() >= 3 && arguments[1] == "--as-worker") return run_worker(arguments);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
