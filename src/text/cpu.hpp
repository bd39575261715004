// The one processor check of the kernels, and the architecture they are written for.
// Every kernel has a portable scalar path; the vector paths are compiled for x86-64 only
// and taken only where the processor has AVX2 (and, for the widest, AVX-512 with byte
// permutes).
#pragma once

#if defined(__x86_64__)
#define KORVIDAN_X86_64 1
#else
#define KORVIDAN_X86_64 0
#endif

namespace korvidan::text {

namespace detail {
extern bool avx2_enabled;
extern bool avx512_enabled;
}  // namespace detail

// Whether the AVX2 paths run: the processor has AVX2 and narrower paths are not forced.
// Plain flags, read on every kernel call.
inline bool use_avx2() { return detail::avx2_enabled; }
// Whether the AVX-512 paths run (AVX-512 BW and VBMI); never without the AVX2 ones.
inline bool use_avx512() { return detail::avx512_enabled; }

}  // namespace korvidan::text
