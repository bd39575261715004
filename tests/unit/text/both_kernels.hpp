// Kernel tests run twice: on the vector paths (where the processor has them) and on the
// scalar twins forced for whole inputs, so that neither is tested on tails alone.
#pragma once

#include <gtest/gtest.h>

#include "text/text.hpp"

namespace korvidan::text {

class BothKernels : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { force_scalar_kernels(GetParam()); }
  void TearDown() override { force_scalar_kernels(false); }
};

inline std::string kernel_name(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "scalar" : "vector";
}

}  // namespace korvidan::text

// Declares the fixture `suite` and runs its TEST_P cases on both kernels.
#define KORVIDAN_ON_BOTH_KERNELS(suite)                  \
  class suite : public ::korvidan::text::BothKernels {}; \
  INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Bool(), ::korvidan::text::kernel_name)
