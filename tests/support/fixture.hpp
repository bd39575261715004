// A fresh folder per test, and file helpers that take UTF-8 names on every platform.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"
#include "support/spawn.hpp"

namespace korvidan::testing {

std::filesystem::path utf8_path(std::string_view utf8);
void write_file(const std::filesystem::path& path, std::string_view bytes);
std::string read_file(const std::filesystem::path& path);
// Names in the order the platform lists them, which is the order the program walks in.
std::vector<std::string> listing_order(const std::filesystem::path& folder);

inline bool on_windows() { return platform::native_path_style() == platform::PathStyle::windows; }
// The separator the program uses in result paths and entry paths.
inline std::string separator() { return on_windows() ? "\\" : "/"; }

inline constexpr std::string_view bom = "\xEF\xBB\xBF";
inline constexpr std::string_view selection_name = "Mendolux4SELECT.TXT";
inline constexpr std::string_view rest_name = "Mendolux4RVS.TXT";
inline constexpr std::string_view parameter_prefix = "パラメーターの解析中のエラーです : ";
inline constexpr std::string_view run_error_prefix = "全文検索プログラムのエラーです : ";

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path at(std::string_view relative) const { return root_ / utf8_path(relative); }
  void write(std::string_view relative, std::string_view bytes) const {
    write_file(at(relative), bytes);
  }
  void make_folder(std::string_view relative) const {
    std::filesystem::create_directories(at(relative));
  }
  std::string read(std::string_view relative) const { return read_file(at(relative)); }
  bool exists(std::string_view relative) const { return std::filesystem::exists(at(relative)); }
  ProgramRun run(const std::vector<std::string>& arguments, const RunOptions& options = {}) const {
    return run_program(root_, arguments, options);
  }
  // As the unprivileged user, so that permission faults are real (POSIX, needs root).
  ProgramRun run_as_nobody(const std::vector<std::string>& arguments) const {
    RunOptions options;
    options.unprivileged = true;
    return run(arguments, options);
  }
  // Runs `arguments` once without and then once with each file size limit (POSIX), and
  // expects each limited run to stop with "cannot write !!" and to leave both result files
  // in `folder` no larger than the limit and a prefix of what the unlimited run wrote.
  void expect_cut_short_prefixes(const std::vector<std::string>& arguments,
                                 const std::string& folder,
                                 const std::vector<unsigned long long>& limits) const;

  // The final report for result files in `folder` as the program prints it.
  static std::string report_for(const std::string& folder) {
    return "My name is korvidan.exe !!\r\nOutput : " + folder + separator() +
           std::string(selection_name) + " , " + folder + separator() + std::string(rest_name) +
           "\n";
  }

  std::filesystem::path root_;
};

}  // namespace korvidan::testing
