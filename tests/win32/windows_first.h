// Force-included into the cross-built unit tests: <windows.h> first, as every
// Windows build has it, then without its old 16-bit `near` and `far` macros,
// which the portable tests use as plain names.
#pragma once
#include "platform/gl.h"
#undef near
#undef far
