// Kernel tests run on each path the processor has: the scalar twins, the AVX2 paths and
// the AVX-512 ones, each forced for whole inputs, so that none is tested on tails alone.
#pragma once

#include <gtest/gtest.h>

#include "text/text.hpp"

namespace korvidan::text {

class EveryKernel : public ::testing::TestWithParam<Kernels> {
 protected:
  void SetUp() override {
    if (GetParam() > widest_kernels()) GTEST_SKIP() << "not on this processor";
    force_kernels(GetParam());
  }
  void TearDown() override { force_kernels(widest_kernels()); }
};

inline std::string kernel_name(const ::testing::TestParamInfo<Kernels>& info) {
  switch (info.param) {
    case Kernels::scalar:
      return "scalar";
    case Kernels::avx2:
      return "avx2";
    case Kernels::avx512:
      return "avx512";
  }
  return "unknown";
}

}  // namespace korvidan::text

// Declare the fixture `suite` and run its TEST_P cases on the kernels given, on every
// kernel, or on the two that code without an AVX-512 path of its own has.
#define KORVIDAN_ON_KERNELS(suite, ...)                  \
  class suite : public ::korvidan::text::EveryKernel {}; \
  INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(__VA_ARGS__), ::korvidan::text::kernel_name)
#define KORVIDAN_ON_EVERY_KERNEL(suite)                                                          \
  KORVIDAN_ON_KERNELS(suite, ::korvidan::text::Kernels::scalar, ::korvidan::text::Kernels::avx2, \
                      ::korvidan::text::Kernels::avx512)
#define KORVIDAN_ON_SCALAR_AND_AVX2(suite) \
  KORVIDAN_ON_KERNELS(suite, ::korvidan::text::Kernels::scalar, ::korvidan::text::Kernels::avx2)
