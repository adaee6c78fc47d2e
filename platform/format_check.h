#pragma once
// Lets the compiler check a printf-style function's format against its arguments. MinGW's
// libstdc++ routes the printf family to MinGW's own C99 implementation (%zu, %lld), which GCC
// knows as gnu_printf there; its plain printf means Microsoft's older C library. Clang knows only
// printf, which is the same thing everywhere else.
#if defined(__MINGW32__)
#define VT_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define VT_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#endif
