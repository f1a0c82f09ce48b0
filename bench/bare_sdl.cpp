// The baseline for the viewer's figures: the least an SDL2 program does to
// show GL frames in the same kind of window (800 x 600, double-buffered,
// 16-bit depth, compatibility context): clear and swap.
//
//   bare_sdl loop SECONDS     frames per second, resident size
//   bare_sdl first-frame      ms from DUPLEXA_BENCH_T0 to the first frame shown
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/bench_common.h"

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;

bool open_window() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    window = SDL_CreateWindow("bare", 0, 0, 800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (!window) {
        std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
        return false;
    }
    context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_MakeCurrent(window, context);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    return true;
}

void close_window() {
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
}

bool one_pass() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "loop") == 0) {
        const double seconds = std::atof(argv[2]);
        if (!open_window()) return 1;
        print_loop_rate(one_pass, glFinish, seconds);
        close_window();
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "first-frame") == 0) {
        const double t0 = launch_time_seconds();
        if (!open_window()) return 1;
        one_pass();
        glFinish();
        std::printf("startup_ms %.3f\n", (monotonic_seconds() - t0) * 1000.0);
        close_window();
        return 0;
    }
    std::fprintf(stderr, "usage: %s loop SECONDS | first-frame\n", argv[0]);
    return 2;
}
