// printf-style formatting into a fixed buffer, without the C runtime's stdio.
// Supports flags '-' and '0', width and precision (also '*'), the length
// modifiers h and l, and the conversions d i u x X c s %.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace rt {

// Writes at most capacity - 1 characters and a terminator; returns the length
// written.
std::size_t FormatTextV(char* out, std::size_t capacity, const char* format, va_list args);
std::size_t FormatText(char* out, std::size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace rt
