// PNG files of pictures read back from the GL.
#pragma once

#include <cstddef>

// Writes width x height RGB pixels, rows bottom-up as glReadPixels gives
// them, as a PNG at path. The file is written under a temporary name beside
// it and moved into place only when complete, so a failure (a read-only
// folder, a full disk) leaves nothing behind; with replace false an existing
// file is never overwritten. On failure, reason says why.
bool write_png_file(const char* path, int width, int height, const unsigned char* rgb_bottom_up, bool replace,
                    char* reason, std::size_t reason_size);
