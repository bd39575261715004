#include "text/cpu.hpp"

#include "text/text.hpp"

namespace korvidan::text {
namespace {

bool processor_has_avx2() {
#if KORVIDAN_X86_64
  // Asked while static objects are being made, before the runtime's own check may have run.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

const bool avx2_present = processor_has_avx2();

}  // namespace

bool detail::avx2_enabled = avx2_present;

void force_scalar_kernels(bool forced) { detail::avx2_enabled = !forced && avx2_present; }

}  // namespace korvidan::text
