// The one processor check of the kernels, and the architecture they are written for.
// Every kernel has a portable scalar path; the vector paths are compiled for x86-64 only
// and taken only where the processor has AVX2.
#pragma once

#if defined(__x86_64__)
#define KORVIDAN_X86_64 1
#else
#define KORVIDAN_X86_64 0
#endif

namespace korvidan::text {

namespace detail {
extern bool avx2_enabled;
}

// Whether the AVX2 paths run: the processor has AVX2 and the scalar paths are not forced.
// A plain flag, read on every kernel call.
inline bool use_avx2() { return detail::avx2_enabled; }

}  // namespace korvidan::text
