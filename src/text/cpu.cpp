#include "text/cpu.hpp"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "text/text.hpp"

namespace korvidan::text {
namespace {

Kernels processor_kernels() {
#if KORVIDAN_X86_64
  // Asked while static objects are being made, before the runtime's own check may have run.
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("avx2")) return Kernels::scalar;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi")) {
    return Kernels::avx512;
  }
  return Kernels::avx2;
#else
  return Kernels::scalar;
#endif
}

// KORVIDAN_KERNELS=scalar|avx2|avx512 lowers the level, so that each level can be measured
// and tested on one machine; it never raises it, and any other value is ignored.
Kernels allowed_kernels(Kernels processor) {
  const char* asked = std::getenv("KORVIDAN_KERNELS");
  if (asked == nullptr) return processor;
  const std::string_view name = asked;
  if (name == "scalar") return Kernels::scalar;
  if (name == "avx2") return std::min(processor, Kernels::avx2);
  return processor;
}

const Kernels widest = allowed_kernels(processor_kernels());

}  // namespace

bool detail::avx2_enabled = widest >= Kernels::avx2;
bool detail::avx512_enabled = widest >= Kernels::avx512;

Kernels widest_kernels() { return widest; }

void force_kernels(Kernels most) {
  const Kernels taken = std::min(most, widest);
  detail::avx2_enabled = taken >= Kernels::avx2;
  detail::avx512_enabled = taken >= Kernels::avx512;
}

}  // namespace korvidan::text
