// The Win32 rules that the SDL and scripted backends both emulate, written
// once so that the two agree. The native backend needs none of this: Windows
// does it all itself, and the backend contract test checks all three against
// the same expectations.
#pragma once

#include "platform/platform.h"

namespace emulated {

// WM_SIZE's client size and the mouse messages' position: the width (x) in
// the low word, the height (y) in the high word.
inline LParam word_pair(int low, int high) {
    return static_cast<LParam>((static_cast<unsigned>(low) & 0xFFFF) | (static_cast<unsigned>(high) & 0xFFFF) << 16);
}

constexpr WParam size_restored = 0;  // SIZE_RESTORED

// The MK_ flags of the pointer messages' wParam.
inline unsigned pointer_flags(bool left, bool right, bool shift) {
    return (left ? MK_LBUTTON : 0u) | (right ? MK_RBUTTON : 0u) | (shift ? MK_SHIFT : 0u);
}

// WM_MOUSEWHEEL's wParam: the signed turn (WHEEL_DELTA a notch) in the high
// word, the MK_ flags in the low word.
inline WParam wheel_wparam(int delta, unsigned flags) {
    return static_cast<WParam>((flags & 0xFFFF) | (static_cast<unsigned>(delta) & 0xFFFF) << 16);
}

// WM_ACTIVATE's wParam: WA_ACTIVE or WA_INACTIVE in the low word, non-zero
// in the high word while the window is minimised.
inline WParam activation(bool active, bool minimised) {
    return static_cast<WParam>((active ? 1u : 0u) | (minimised ? 1u << 16 : 0u));
}

// The messages Windows gives a top-level window's procedure, in its order.
// `send(message, wparam, lparam)` delivers one, at once or through the queue
// as the backend's system does.

// A `send` that calls the window procedure at once, as SendMessage does.
inline auto sent_to(WindowHandle window) {
    return [window](unsigned message, WParam wparam, LParam lparam) {
        handle_window_message(window, message, wparam, lparam);
    };
}

// The client size: CreateWindowEx sends it before it returns, and every
// later change of size brings it again.
template <typename Send>
void send_client_size(Send send, int client_width, int client_height) {
    send(WM_SIZE, size_restored, word_pair(client_width, client_height));
}

// ShowWindow: the window is activated at once.
template <typename Send>
void send_shown(Send send) {
    send(WM_ACTIVATE, activation(true, false), 0);
}

// Minimising: the client area empties first, then the window loses the
// activation, still reporting itself minimised.
template <typename Send>
void send_minimised(Send send) {
    send(WM_SIZE, SIZE_MINIMIZED, word_pair(0, 0));
    send(WM_ACTIVATE, activation(false, true), 0);
}

// Restoring: the client size comes back first, then the activation.
template <typename Send>
void send_restored(Send send, int client_width, int client_height) {
    send(WM_SIZE, size_restored, word_pair(client_width, client_height));
    send(WM_ACTIVATE, activation(true, false), 0);
}

// Pixel formats: both backends number the same four, 1 the basic format
// (double-buffered RGBA with a depth buffer), plus these for extra buffers.
constexpr int format_stencil = 1;
constexpr int format_stereo = 2;
constexpr int format_count = 4;

inline bool valid_format(int format) { return format >= 1 && format <= format_count; }

// ChoosePixelFormat: 0 for a request no format meets (not drawn to a window
// by OpenGL, or not RGBA); otherwise the closest format there is, as Windows
// chooses: stereo is given up first, then the stencil buffer.
// `available(extras)` says whether the system has the buffers `extras` names.
template <typename Available>
int choose_format(const PixelFormatDescriptor* pfd, Available available) {
    const std::uint32_t needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (!pfd || (pfd->dwFlags & needed) != needed || pfd->iPixelType != PFD_TYPE_RGBA) return 0;
    int extras = (pfd->cStencilBits > 0 ? format_stencil : 0) | ((pfd->dwFlags & PFD_STEREO) ? format_stereo : 0);
    if (extras != 0 && !available(extras) && (extras & format_stereo)) extras &= ~format_stereo;
    if (extras != 0 && !available(extras)) extras = 0;
    return 1 + extras;
}

// DescribePixelFormat: fills `pfd` for a valid format and returns how many
// there are, or 0.
inline int describe_format(int format, std::uint8_t colour_bits, PixelFormatDescriptor* pfd) {
    if (!pfd || !valid_format(format)) return 0;
    const int extras = format - 1;
    *pfd = PixelFormatDescriptor{};
    pfd->nSize = sizeof(PixelFormatDescriptor);
    pfd->nVersion = 1;
    pfd->dwFlags =
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER | ((extras & format_stereo) ? PFD_STEREO : 0u);
    pfd->iPixelType = PFD_TYPE_RGBA;
    pfd->cColorBits = colour_bits;
    pfd->cDepthBits = 16;
    pfd->cStencilBits = (extras & format_stencil) ? 8 : 0;
    return format_count;
}

// ShowCursor's display counter: the cursor shows while it is 0 or more.
// Constant-initialised, so usable before main.
struct CursorCounter {
    int count = 0;

    int show(bool visible) { return count += visible ? 1 : -1; }
    bool visible() const { return count >= 0; }
};

}  // namespace emulated
