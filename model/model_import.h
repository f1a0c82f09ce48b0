// A model file read in a worker process: the importer (a large third-party
// parser fed files from anywhere) never runs in the viewer. The viewer
// starts an import, polls it once a frame without waiting, and ends with a
// mesh or a reason; a worker that crashes, runs out of memory, stops making
// progress or answers nonsense takes only itself down.
#pragma once

#include <cstdint>
#include <string>

#include "model/mesh.h"
#include "model/mesh_wire.h"
#include "platform/process.h"

// What a worker may take. DUPLEXA_IMPORT_MEMORY_MB and
// DUPLEXA_IMPORT_STALL_SECONDS in the environment change the defaults.
struct ImportLimits {
    std::uint64_t memory_cap;     // bytes of the worker's memory; 0: none
    std::uint32_t stall_seconds;  // silence after which the worker is ended
};
ImportLimits import_limits_from_environment();

// The program started as the worker: null for the running program itself
// (tests that are not the viewer point it at the viewer).
extern const char* import_worker_program;

// The hidden argument that makes the program a worker: "--import-worker".
extern const char* const import_worker_option;

enum class ImportState { idle, running, done, failed };

class ModelImport {
public:
    ModelImport() = default;
    ~ModelImport() { cancel(); }
    ModelImport(const ModelImport&) = delete;
    ModelImport& operator=(const ModelImport&) = delete;

    // Starts reading path (UTF-8), ending an import still running. False
    // (state failed, with the reason) when no worker could be started.
    bool start(const char* path, const ImportLimits& limits);

    // Takes what the worker has sent, without waiting, and tells where the
    // import stands; now_ms is a millisecond clock (the watchdog's).
    ImportState poll(std::uint32_t now_ms);

    // Waits at most `milliseconds` for the worker to send something.
    void wait(int milliseconds);

    // Waits for the import to end, the watchdog on the system's own clock
    // (not the one the loop polls with, which tests may hold still).
    ImportState finish();

    // Ends a running import; back to idle.
    void cancel();

    ImportState state() const { return state_; }
    const std::string& path() const { return path_; }
    int percent() const { return percent_; }
    // Why it failed, in the user's words (state failed).
    const std::string& reason() const { return reason_; }
    // The mesh (state done), handed over once; the import is idle afterwards.
    Mesh take_mesh();

private:
    void fail(const std::string& reason);
    void finish_worker();

    WorkerHandle worker_ = nullptr;
    ImportState state_ = ImportState::idle;
    ImportLimits limits_ = {0, 0};
    std::string path_;
    std::string reason_;
    int percent_ = 0;
    std::uint32_t last_heard_ms_ = 0;
    bool clock_started_ = false;
    ReplyReader reply_;
};

// The whole import, waiting for it: for --render and the benchmarks.
bool import_model_file(const char* path, const ImportLimits& limits, Mesh* mesh, std::string* reason);

// The worker's side: reads path and writes the reply to standard output.
// Returns the process exit code.
int run_import_worker(const char* path);
