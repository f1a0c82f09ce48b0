#include "model/model_import.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "model/beside_thread.h"
#include "model/mesh_lighter.h"
#include "model/model_file.h"
#include "platform/platform.h"

const char* import_worker_program = nullptr;
const char* const import_worker_option = "--import-worker";

namespace {

// 4 GiB: several times what the largest model the limits admit takes to
// import (a 1 GiB STL), far below what would push a desktop into swap.
constexpr std::uint64_t default_memory_mb = 4096;
// The importer tells its progress at least every percent of its work; half a
// minute of silence is a parser that spins.
constexpr std::uint32_t default_stall_seconds = 30;
// What one poll reads at most, so that a big mesh arriving leaves the frames
// of the model still shown running (a few milliseconds of copying).
constexpr std::size_t poll_budget_bytes = std::size_t(32) << 20;
// The worker's exit code after it ran out of memory.
constexpr int out_of_memory_exit = 3;

std::uint64_t environment_number(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return end && *end == '\0' ? value : fallback;
}

std::string memory_reason(std::uint64_t cap) {
    char text[96];
    const std::uint64_t mib = cap >> 20;
    if (mib % 1024 == 0)
        std::snprintf(text, sizeof text, "The file needs more than %llu GiB of memory to import.",
                      static_cast<unsigned long long>(mib / 1024));
    else
        std::snprintf(text, sizeof text, "The file needs more than %llu MiB of memory to import.",
                      static_cast<unsigned long long>(mib));
    return cap ? text : "Not enough memory to import the file.";
}

// The worker's side: its standard output is the reply. The records go
// through stdio; a mesh's arrays go out as they are, without a copy where
// the system can hand their pages over.
constexpr std::size_t direct_write_bytes = std::size_t(1) << 16;
bool output_failed = false;

void write_stdout(void*, const void* bytes, std::size_t size) {
    if (size < direct_write_bytes) {
        std::fwrite(bytes, 1, size, stdout);
        return;
    }
    output_failed = std::fflush(stdout) != 0 || !platform_write_worker_output(bytes, size) || output_failed;
}
const WireSink worker_sink = {write_stdout, nullptr};

// The whole import as one percentage: the read (import, validation,
// conversion) to read_share, then the edges and the lighter mesh to
// wire_sent_percent as far as they are built once the mesh has gone out;
// the viewer counts the arrays' arrival from read_share to 100.
constexpr int read_share = 80;

void report_progress(void*, int percent) {
    write_progress_record(worker_sink, percent);
    std::fflush(stdout);
}

// Room to say "out of memory" once allocation has failed.
char* memory_reserve = nullptr;

// While the mesh goes out on a thread of its own, the output is that
// thread's: nothing else is written until it is done.
std::atomic<bool> sending{false};

void report_out_of_memory() {
    delete[] memory_reserve;
    memory_reserve = nullptr;
    while (sending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    write_out_of_memory_record(worker_sink);
    std::fflush(stdout);
    std::_Exit(out_of_memory_exit);
}

// DUPLEXA_IMPORT_TEST_FAULT makes the worker fail on purpose, for the tests
// of what the viewer does then: "crash", "hang" or "memory".
void test_fault() {
    const char* fault = std::getenv("DUPLEXA_IMPORT_TEST_FAULT");
    if (!fault) return;
    if (std::strcmp(fault, "crash") == 0) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    } else if (std::strcmp(fault, "hang") == 0) {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    } else if (std::strcmp(fault, "memory") == 0) {
        // Twice the cap, every page touched, then held: an enforced cap ends
        // the worker on the way there (an allocation fails, or the viewer
        // sees it over the cap and ends it). One that is not says so, and
        // never takes more than twice the cap of the machine's memory.
        // Sanitized builds have no cap: then the worker's own words.
        const std::uint64_t cap = import_limits_from_environment().memory_cap;
        if (cap == 0) report_out_of_memory();
        for (std::uint64_t taken = 0; taken < 2 * cap; taken += 64 << 20) std::memset(new char[64 << 20], 1, 64 << 20);
        for (int tick = 0; tick < 50; ++tick) {
            report_progress(nullptr, 0);  // not silent: the stall watch is not what ends it
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        write_failure_record(worker_sink, "The memory cap was not enforced.");
        std::fflush(stdout);
        std::_Exit(1);
    }
}

}  // namespace

ImportLimits import_limits_from_environment() {
    ImportLimits limits;
    limits.memory_cap = environment_number("DUPLEXA_IMPORT_MEMORY_MB", default_memory_mb) << 20;
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space at start: under a
    // cap the worker would not even start. Sanitized builds are test builds.
    limits.memory_cap = 0;
#endif
    const std::uint64_t seconds = environment_number("DUPLEXA_IMPORT_STALL_SECONDS", default_stall_seconds);
    limits.stall_seconds = static_cast<std::uint32_t>(seconds < 1 ? 1 : seconds > 86400 ? 86400 : seconds);
    return limits;
}

bool ModelImport::start(const char* path, const ImportLimits& limits) {
    cancel();
    path_ = path ? path : "";
    limits_ = limits;
    percent_ = 0;
    reason_.clear();
    clock_started_ = false;
    reply_.reset(model_limits.mesh);
    const char* arguments[] = {import_worker_option, path_.c_str(), nullptr};
    char why[256] = "";
    worker_ = platform_start_worker(import_worker_program, arguments, limits.memory_cap, why, sizeof why);
    if (!worker_) {
        fail(std::string("The importer could not be started (") + why + ").");
        return false;
    }
    state_ = ImportState::running;
    return true;
}

void ModelImport::fail(const std::string& reason) {
    reason_ = reason.empty() ? "The importer could not read the file." : reason;
    state_ = ImportState::failed;
}

void ModelImport::cancel() {
    if (worker_) platform_end_worker(worker_);
    worker_ = nullptr;
    reply_.reset(model_limits.mesh);
    state_ = ImportState::idle;
}

void ModelImport::wait(int milliseconds) {
    if (worker_) platform_wait_worker(worker_, milliseconds);
}

ImportState ModelImport::poll(std::uint32_t now_ms) {
    if (state_ != ImportState::running) return state_;
    if (!clock_started_) {
        last_heard_ms_ = now_ms;
        clock_started_ = true;
    }
    bool heard = false, ended = false;
    for (std::size_t budget = poll_budget_bytes; budget > 0;) {
        std::size_t room = 0;
        unsigned char* space = reply_.next_space(&room);
        if (!space || room == 0) break;
        const long got = platform_read_worker(worker_, space, room < budget ? room : budget);
        if (got == 0) break;
        if (got < 0) {
            ended = true;
            break;
        }
        heard = true;
        budget -= static_cast<std::size_t>(got);
        if (reply_.advance(static_cast<std::size_t>(got)) != ReplyState::reading) break;
    }
    // The worker's figure, and from read_share on the arrays' arrival.
    const int sent = std::min(reply_.percent(), wire_sent_percent);
    const int arrived = reply_.arrived_percent();
    percent_ = arrived > 0 ? std::max(sent, read_share + (100 - read_share) * arrived / 100) : sent;
    if (heard) last_heard_ms_ = now_ms;

    ReplyState reply = reply_.state();
    bool cut_short = false;
    if (ended && reply == ReplyState::reading) {
        reply = reply_.end_of_input();
        // Output that ends before the answer does is a worker gone wrong,
        // however it ended: by a signal, or by a handler of its own (a
        // sanitizer's, the C run time's) that exits instead.
        cut_short = reply == ReplyState::malformed;
    }
    if (reply == ReplyState::reading) {
        // Where the system does not hold the worker to its cap (Wine), the
        // viewer does: a worker seen over it is ended as one that ran out.
        if (limits_.memory_cap && platform_worker_memory(worker_) > limits_.memory_cap) {
            cancel();
            fail(memory_reason(limits_.memory_cap));
            return state_;
        }
        if (now_ms - last_heard_ms_ >= limits_.stall_seconds * 1000u) {
            cancel();
            char text[96];
            std::snprintf(text, sizeof text, "The importer stopped making progress (nothing for %u s).",
                          limits_.stall_seconds);
            fail(text);
        }
        return state_;
    }

    // An answer, or the end of the output: how the worker ended decides what
    // an incomplete answer means. A worker that has answered is not waited
    // for: a whole, checked mesh needs no word of how it goes.
    WorkerEnd end = {WorkerEndKind::ended, 0};
    if (ended && reply != ReplyState::mesh)
        end = platform_finish_worker(worker_, 50);
    else
        platform_end_worker(worker_);
    worker_ = nullptr;
    const bool crashed = (ended && end.kind == WorkerEndKind::crashed) || cut_short;
    const bool out_of_memory = reply == ReplyState::out_of_memory ||
                               (ended && end.kind == WorkerEndKind::exited && end.code == out_of_memory_exit);
    if (reply == ReplyState::mesh) {
        state_ = ImportState::done;
    } else if (out_of_memory) {
        fail(memory_reason(limits_.memory_cap));
    } else if (reply == ReplyState::failed) {
        fail(reply_.reason());
    } else if (crashed) {
        fail("The importer crashed on this file.");
    } else {
        fail(reply_.reason());
    }
    return state_;
}

Mesh ModelImport::take_mesh() {
    if (state_ != ImportState::done) return Mesh();
    state_ = ImportState::idle;
    return reply_.take_mesh();
}

ImportState ModelImport::finish() {
    clock_started_ = false;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto now = std::chrono::steady_clock::now() - start;
        if (poll(static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count())) !=
            ImportState::running)
            return state_;
        wait(100);
    }
}

bool import_model_file(const char* path, const ImportLimits& limits, Mesh* mesh, std::string* reason) {
    ModelImport import;
    import.start(path, limits);
    if (import.finish() == ImportState::done) {
        *mesh = import.take_mesh();
        return true;
    }
    *reason = import.reason();
    return false;
}

int run_import_worker(const char* path) {
    platform_prepare_worker_process();
    // Whole records go out at once; progress is flushed as it comes.
    static char output_buffer[1 << 16];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    memory_reserve = new char[1 << 20];
    std::set_new_handler(report_out_of_memory);
    test_fault();

    Mesh mesh;
    std::string reason;
    ReadProgress progress;
    progress.report = [](void*, int percent) { report_progress(nullptr, percent * read_share / 100); };
    if (!read_model_file(path, &mesh, &reason, progress)) {
        write_failure_record(worker_sink, reason);
        std::fflush(stdout);
        return 1;
    }
    // The mesh goes out while its edges and lighter mesh are built (here,
    // off the viewer's frames): the sending only reads the arrays that the
    // building leaves as they are. Running out of memory ends in the new
    // handler's record, as the import's would.
    auto send_mesh = [&mesh] {
        write_facts_record(worker_sink, mesh.facts);
        write_geometry_record(worker_sink, mesh);
        std::fflush(stdout);
        sending = false;
    };
    sending = true;
    {
        BesideThread sender(send_mesh);
        build_mesh_extras(&mesh, [](void*, int steps) {
            if (!sending)
                report_progress(nullptr, read_share + (wire_sent_percent - read_share) * steps / extras_steps);
        });
    }
    write_extras_record(worker_sink, mesh);
    std::fflush(stdout);
    // The output's end is the answer's: it comes before the system takes the
    // worker's memory down. The arrays and the importer's leftovers go with
    // the process: freeing them one by one would only delay it.
    const bool failed = std::ferror(stdout) || output_failed;
    std::fclose(stdout);
    std::_Exit(failed ? 1 : 0);
}
