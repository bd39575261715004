#include "conditions/conditions.hpp"
#include "driver/driver.hpp"
#include "driver/messages.hpp"
#include "results/results.hpp"
#include "scan/scan.hpp"

namespace korvidan::driver {
namespace {

using platform::PathKind;

struct ResultPaths {
  std::string selection_path;
  std::string rest_path;
};

ResultPaths result_paths(std::string_view output_folder) {
  const platform::PathStyle style = platform::native_path_style();
  return {result_path(output_folder, messages::selection_file_name, style),
          result_path(output_folder, messages::rest_file_name, style)};
}

void write_final_report(const ResultPaths& paths) {
  std::string report = messages::report_first_line;
  report += messages::report_output;
  report += paths.selection_path;
  report += messages::report_between;
  report += paths.rest_path;
  report += '\n';
  platform::write_standard_output(report);
}

// The end of every run that created the result files: everything decided is written out
// first, so a failed write, which came before whatever ended the search, is the stop.
platform::Outcome finish_run(results::ResultFiles& results, const platform::Outcome& searched,
                             const ResultPaths& paths) {
  if (const std::optional<platform::Stop> stop = results.finish()) return *stop;
  if (searched.ok()) write_final_report(paths);
  results.close();
  return searched;
}

platform::Outcome single_file_run(const RunConfig& config,
                                  const conditions::ConditionMatcher& conditions) {
  const ResultPaths paths =
      result_paths(output_folder_for_file(config.target, platform::native_path_style()));
  // Creating the result files truncates them: a target that is one of them would be lost.
  const platform::FileIdentity target = platform::path_info(config.target).identity;
  for (const std::string* path : {&paths.selection_path, &paths.rest_path}) {
    const platform::PathInfo existing = platform::path_info(*path);
    if (existing.kind != PathKind::missing && existing.identity == target) {
      return platform::Error{platform::Error::Kind::target_is_result_file};
    }
  }
  auto created =
      results::ResultFiles::create(paths.selection_path, paths.rest_path, config.indexed);
  if (!created.ok()) return created.error();
  results::ResultFiles& results = *created.value();
  results.write_byte_order_marks();

  const scan::SearchSetup setup{config.break_count, conditions, results};
  return finish_run(results, scan::search_file(config.target, setup), paths);
}

platform::Outcome folder_run(const RunConfig& config,
                             const conditions::ConditionMatcher& conditions) {
  const ResultPaths paths = result_paths(config.target);
  auto created =
      results::ResultFiles::create(paths.selection_path, paths.rest_path, config.indexed);
  if (!created.ok()) return created.error();
  results::ResultFiles& results = *created.value();
  results.write_byte_order_marks();

  const scan::SearchSetup setup{config.break_count, conditions, results};
  scan::ScanContext context{&setup, {}};
  for (const std::string* path : {&paths.selection_path, &paths.rest_path}) {
    context.result_files.push_back(platform::path_info(*path).identity);
  }
  platform::Outcome scanned;
  if (config.current_folder_only) {
    scanned = scan::scan_folder(config.target, context);
  } else if (config.indexed) {
    scanned = scan::walk_tree_indexed(config.target, context);
  } else {
    scanned = scan::walk_tree_text_only(config.target, context);
  }
  return finish_run(results, scanned, paths);
}

}  // namespace

std::string output_folder_for_file(std::string_view target, platform::PathStyle style) {
  const std::string_view parent = platform::parent_part(target, style);
  // A bare name would put the results at the root of the drive, a bare drive into that
  // drive's root: both are meant as "next to the file".
  if (parent.empty()) return ".";
  if (style == platform::PathStyle::windows && parent.size() == 2 && parent[1] == ':') {
    return std::string(parent) + ".";
  }
  return std::string(parent);
}

std::string result_path(std::string_view output_folder, const char* file_name,
                        platform::PathStyle style) {
  std::string path(output_folder);
  path += style == platform::PathStyle::windows ? '\\' : '/';
  path += file_name;
  return path;
}

platform::Outcome run_search(const RunConfig& config) {
  const conditions::ConditionMatcher conditions(config.condition_text);
  switch (platform::path_info(config.target).kind) {
    case PathKind::folder:
      return folder_run(config, conditions);
    case PathKind::missing:
      return platform::Outcome();  // gone since the checks: nothing to do
    case PathKind::regular_file:
    case PathKind::other:
      break;
  }
  return single_file_run(config, conditions);
}

std::string describe_run_error(const platform::Error& error) {
  if (error.kind == platform::Error::Kind::target_is_result_file) {
    return messages::target_is_result_file;
  }
  return platform::describe(error);
}

std::string stop_report(const platform::Stop& stop) {
  std::string report = messages::stop_report_opening;
  report += stop.file;
  report += ':';
  report += std::to_string(stop.line);
  report += ")\n";
  report += stop.message;
  if (stop.cause) {
    report += ": ";
    report += stop.cause_with_kind ? platform::describe_with_kind(*stop.cause)
                                   : platform::describe(*stop.cause);
  }
  report += '\n';
  return report;
}

}  // namespace korvidan::driver
