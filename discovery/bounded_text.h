// Text into fixed-size buffers: every copy is cut to the buffer it fills, and a composed path
// that does not fit is refused rather than cut, because a cut path names a different key or
// file.
#pragma once

#include <cctype>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <windows.h>

// Copies `text` into `out` of `size` bytes, cut to fit.
inline void CopyBounded(char* out, size_t size, const char* text) {
    if (size == 0) return;
    size_t length = std::strlen(text);
    if (length >= size) length = size - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

// Copies a text field of a fixed-size record, which need not hold a terminator, cut to fit.
template <size_t N>
void CopyField(char* out, size_t size, const char (&field)[N]) {
    if (size == 0) return;
    size_t length = strnlen(field, N);
    if (length >= size) length = size - 1;
    std::memcpy(out, field, length);
    out[length] = '\0';
}

// Formats into `out` of `size` bytes; false, with `out` empty, when the text would not fit.
inline bool FormatBounded(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
inline bool FormatBounded(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(out, size, format, args);
    va_end(args);
    if (length >= 0 && static_cast<size_t>(length) < size) return true;
    if (size > 0) out[0] = '\0';
    return false;
}

inline void LowerText(char* text) {
    for (; *text; ++text)
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

// Whether a registry or socket enumeration goes on past `result`: a name too long for the
// buffer skips its index, while any other failure would repeat at every further index and so
// ends the enumeration, as ERROR_NO_MORE_ITEMS does.
inline bool SkipsIndex(LONG result) {
    return result == ERROR_MORE_DATA;
}
