#pragma once

// Windows' own API, without the parts this program never uses and without the
// min and max macros that would clash with the standard library's.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
