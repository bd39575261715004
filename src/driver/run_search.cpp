#include "driver/driver.hpp"
#include "driver/messages.hpp"
#include "driver/result_file.hpp"
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

// The two open result files, each holding its byte-order mark.
class OpenResults {
 public:
  static platform::Result<std::unique_ptr<OpenResults>> create(const ResultPaths& paths) {
    platform::Result<platform::Handle> selection =
        platform::create_result_file(paths.selection_path);
    if (!selection.ok()) return selection.error();
    platform::Result<platform::Handle> rest = platform::create_result_file(paths.rest_path);
    if (!rest.ok()) {
      platform::close_file(selection.value());
      return rest.error();
    }
    auto results = std::unique_ptr<OpenResults>(new OpenResults(selection.value(), rest.value()));
    results->selection_file.append("\xEF\xBB\xBF");
    results->rest_file.append("\xEF\xBB\xBF");
    return results;
  }

  void flush() {
    selection_file.flush();
    rest_file.flush();
  }
  // The rest file first, then the selection file.
  void close() {
    rest_file.close();
    selection_file.close();
  }

  passages::ResultSink* last_appended = nullptr;
  ResultFile selection_file;
  ResultFile rest_file;

 private:
  OpenResults(platform::Handle selection, platform::Handle rest)
      : selection_file(selection, &last_appended), rest_file(rest, &last_appended) {
    selection_file.set_partner(&rest_file);
    rest_file.set_partner(&selection_file);
  }
};

platform::Status single_file_run(const RunConfig& config,
                                 const passages::ConditionMatcher& conditions) {
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
  platform::Result<std::unique_ptr<OpenResults>> created = OpenResults::create(paths);
  if (!created.ok()) return created.error();
  OpenResults& results = *created.value();

  platform::Result<platform::Handle> opened = platform::open_for_reading(config.target);
  if (!opened.ok()) {
    results.close();
    return opened.error();
  }
  std::uint64_t selected_total = 0;
  std::uint64_t rest_total = 0;
  passages::PassageStream stream(config.break_count, conditions,
                                 {&results.selection_file, &results.rest_file, config.indexed, "",
                                  &selected_total, &rest_total});
  platform::FileBuffer buffer;
  const platform::Status searched = scan::search_open_file(opened.value(), buffer, stream);
  if (!searched.ok()) {
    platform::close_file(opened.value());
    results.close();
    return searched;
  }
  results.flush();
  write_final_report(paths);
  platform::close_file(opened.value());
  results.close();
  return platform::success();
}

platform::Status folder_run(const RunConfig& config, const passages::ConditionMatcher& conditions) {
  const ResultPaths paths = result_paths(config.target);
  platform::Result<std::unique_ptr<OpenResults>> created = OpenResults::create(paths);
  if (!created.ok()) return created.error();
  OpenResults& results = *created.value();

  platform::FileBuffer file_text;
  scan::ScanContext context;
  context.break_count = config.break_count;
  context.conditions = &conditions;
  context.file_text = &file_text;
  context.selection_file = &results.selection_file;
  context.rest_file = &results.rest_file;
  context.indexed = config.indexed;
  for (const std::string* path : {&paths.selection_path, &paths.rest_path}) {
    context.result_files.push_back(platform::path_info(*path).identity);
  }
  context.flush_results = [&results] { results.flush(); };

  platform::Status scanned = platform::success();
  if (config.current_folder_only) {
    scanned = scan::scan_folder(config.target, context);
  } else if (config.indexed) {
    scanned = scan::walk_tree_indexed(config.target, context);
  } else {
    scanned = scan::walk_tree_text_only(config.target, context);
  }
  if (!scanned.ok()) {
    results.close();
    return scanned;
  }
  results.flush();
  write_final_report(paths);
  results.close();
  return platform::success();
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

platform::Status run_search(const RunConfig& config) {
  const passages::ConditionMatcher conditions(config.condition_text);
  switch (platform::path_info(config.target).kind) {
    case PathKind::folder:
      return folder_run(config, conditions);
    case PathKind::missing:
      return platform::success();  // gone since the checks: nothing to do
    case PathKind::regular_file:
    case PathKind::other:
      break;
  }
  return single_file_run(config, conditions);
}

}  // namespace korvidan::driver
