// Reads one model file with Assimp in this process, as the viewer's import
// does (validation on, nothing else), so that a file's effect on the
// importer itself can be seen: exit 0 on a scene, 1 on a refusal (an error
// or an exception); a crash or a hang is the importer's own. The mutation
// campaign (tests/fuzz/mutate_models.py) runs it until the import worker
// exists. Built by hand, plain and with AddressSanitizer:
//   g++ -O1 -g tests/fuzz/assimp_probe.cpp -lassimp -o /tmp/assimp_probe
//   g++ -O1 -g -fsanitize=address tests/fuzz/assimp_probe.cpp -lassimp -o /tmp/assimp_probe_asan
// and for Windows (the static cross-build of scripts/build-assimp-win.sh):
//   x86_64-w64-mingw32-g++-posix -O1 -g tests/fuzz/assimp_probe.cpp -I"$prefix/include"
//     "$prefix/lib/libassimp.a" "$prefix/lib/libminizip.a" -lz -static -o /tmp/assimp_probe.exe
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cstdio>
#include <exception>

#ifdef _WIN32
#include <windows.h>

namespace {

// A crash ends the probe at once with the exception's code, as the import
// worker's does, instead of waiting on a crash dialog or a debugger.
LONG WINAPI end_on_crash(EXCEPTION_POINTERS* info) {
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace
#endif

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: assimp_probe FILE\n");
        return 2;
    }
#ifdef _WIN32
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(end_on_crash);
#endif
    try {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(argv[1], aiProcess_ValidateDataStructure);
        if (!scene) {
            std::printf("refused: %s\n", importer.GetErrorString());
            return 1;
        }
        std::printf("scene: %u meshes\n", scene->mNumMeshes);
        return 0;
    } catch (const std::exception& e) {
        std::printf("refused (exception): %s\n", e.what());
        return 1;
    }
}
