// The GL half of the scripted backend: offscreen contexts rendering into
// caller-owned RGBA buffers. One implementation per system (OSMesa here).
#pragma once

#include <string>

namespace script {

// Appends a call to the log that script::calls() returns.
void log_call(const std::string& call);

void* gl_create_context(int stencil_bits = 0);  // null on failure
void gl_destroy_context(void* context);
// Binds context to an RGBA buffer of width x height bytes x 4; null/null releases.
bool gl_make_current(void* context, unsigned char* buffer, int width, int height);
// An entry point of the GL beyond 1.1, or null.
void* gl_proc_address(const char* name);

// The context's entry point of that name (OSMesaGetProcAddress), or null.
void* gl_proc_address(const char* name);

}  // namespace script
