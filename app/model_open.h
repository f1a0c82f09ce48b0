// Opening the user's model: the shell's side of the import worker. A file
// is read while the frames go on showing what they showed; the model takes
// the scene's place on the first frame after it has arrived, and a file that
// cannot be opened is told in one box.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/mesh.h"

// A model read from path takes the scene's place, in the window or in a
// picture alike: its textures go to the current context, its up axis is
// settled, and `notice` (size bytes, empty when all is well) says how many
// textures could not be read.
void install_model(Mesh mesh, const char* path, char* notice, std::size_t size);

// Starts reading path (UTF-8), ending a read still running. A worker that
// cannot be started is told at once.
void open_model_file(const char* path);

// Once a pass of the loop, never waiting: a model that has arrived replaces
// what was shown; a failure shows its box (caption "Error": the file name and
// the reason) and what was shown stays.
void poll_model_file(std::uint32_t now_ms);

// Waits for a read still running to end, then takes its result as
// poll_model_file does: for tests and benchmarks, never for the frame loop.
// True when a model arrived.
bool finish_model_file();

// True while a file is being read.
bool model_file_loading();

// Ends a read still running (quitting ends the worker with the viewer).
void cancel_model_file();

// "loading NAME 42%", cut to fit size bytes: the overlay's line while a
// file is read. Names in printable ASCII, other bytes as '?'.
void format_loading_text(char* out, std::size_t size);
