#include "platform/win32/win32_text.h"

int utf8_to_wide(const char* text, wchar_t* out, int capacity) {
    if (out == nullptr || capacity <= 0) return 0;
    out[0] = L'\0';
    if (text == nullptr || text[0] == '\0') return 0;

    int written = MultiByteToWideChar(CP_UTF8, 0, text, -1, out, capacity);
    if (written > 0) return written - 1;  // the count includes the terminator

    // Too long (or not UTF-8): convert the longest prefix that fits, ending
    // on a whole character. Each byte makes at most one UTF-16 unit, except
    // a 4-byte sequence, which makes two, so capacity - 1 bytes always fit.
    int length = 0;
    while (text[length] != '\0' && length < capacity - 1) ++length;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;  // do not split a multi-byte sequence
    written = length > 0 ? MultiByteToWideChar(CP_UTF8, 0, text, length, out, capacity - 1) : 0;
    if (written <= 0) written = 0;
    out[written] = L'\0';
    return written;
}
