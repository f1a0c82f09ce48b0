// UTF-8 to UTF-16 for the wide Win32 calls. The shared code's texts are UTF-8;
// going through the W calls shows them right whatever the ANSI code page.
#pragma once

#include "platform/gl.h"

// Converts a zero-terminated UTF-8 text into out (capacity wide characters,
// terminator included). A null text gives an empty one. A text that does not
// fit is cut at a character boundary, so the result is always terminated.
// Returns the number of wide characters written, without the terminator.
int utf8_to_wide(const char* text, wchar_t* out, int capacity);
