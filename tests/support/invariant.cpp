#include "support/invariant.hpp"

#include <algorithm>
#include <map>

namespace korvidan::testing {
namespace {

struct Record {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::string text;
};

std::vector<std::string> file_lines(std::string text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    const bool terminated = end != std::string::npos;
    if (!terminated) end = text.size();
    std::size_t content_end = end;
    if (terminated && content_end > at && text[content_end - 1] == '\r') --content_end;
    lines.push_back(text.substr(at, content_end - at));
    at = terminated ? end + 1 : end;
  }
  if (!lines.empty() && lines[0].starts_with(bom)) lines[0].erase(0, bom.size());
  return lines;
}

bool all_digits(const std::string& line) {
  return !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
}

// Records of a form-I result file, by path, in file order; `texts` gets the record texts
// in the order they stand in the result file.
void parse_records(const std::string& result, const std::string& single_file,
                   std::map<std::string, std::vector<Record>>& by_path, std::string& texts) {
  ASSERT_TRUE(result.starts_with(bom));
  std::size_t at = bom.size();
  auto next_line = [&](std::size_t from, std::string& line) {
    const std::size_t end = result.find("\r\n", from);
    if (end == std::string::npos) return std::string::npos;
    line = result.substr(from, end - from);
    return end + 2;
  };
  std::map<std::string, std::vector<std::string>> file_cache;
  while (at < result.size()) {
    std::string first_line;
    std::string range_line;
    const std::size_t after_first = next_line(at, first_line);
    ASSERT_NE(after_first, std::string::npos) << "unterminated line at " << at;
    const std::size_t after_range = next_line(after_first, range_line);
    const std::size_t dashes = range_line.find("--");
    const std::size_t gap = range_line.find("  ");
    const bool record = all_digits(first_line) && after_range != std::string::npos &&
                        dashes != std::string::npos && gap != std::string::npos &&
                        all_digits(range_line.substr(0, dashes)) &&
                        all_digits(range_line.substr(dashes + 2, gap - dashes - 2));
    if (!record) {  // a file heading line
      at = after_first;
      continue;
    }
    Record parsed;
    parsed.first = std::stoull(range_line.substr(0, dashes));
    parsed.last = std::stoull(range_line.substr(dashes + 2, gap - dashes - 2));
    // A single-file run writes no path: the records are those of the target.
    const std::string path =
        gap + 2 == range_line.size() ? single_file : range_line.substr(gap + 2);
    std::string count_line;
    at = next_line(after_range, count_line);
    ASSERT_TRUE(all_digits(count_line));
    if (!file_cache.contains(path))
      file_cache[path] = file_lines(read_file(utf8_path(path.empty() ? "." : path)));
    const std::vector<std::string>& lines = file_cache[path];
    const std::uint64_t present = std::min<std::uint64_t>(parsed.last, lines.size());
    for (std::uint64_t line = parsed.first; line <= present; ++line) {
      std::string text_line;
      at = next_line(at, text_line);
      ASSERT_NE(at, std::string::npos);
      parsed.text += text_line + "\r\n";
    }
    texts += parsed.text;
    by_path[path].push_back(parsed);
  }
}

}  // namespace

void expect_nothing_lost(const std::filesystem::path& working_folder,
                         const std::vector<std::string>& arguments,
                         const std::string& result_folder) {
  SCOPED_TRACE("nothing lost: " + ::testing::PrintToString(arguments));
  std::vector<std::string> form_i = arguments;
  form_i.insert(form_i.begin() + 3, "I");
  ASSERT_EQ(run_program(working_folder, form_i).exit_status, 0);
  const std::filesystem::path results = working_folder / utf8_path(result_folder);
  const std::string selection_i = read_file(results / utf8_path(selection_name));
  const std::string rest_i = read_file(results / utf8_path(rest_name));
  std::vector<std::string> form_s = arguments;
  form_s.insert(form_s.begin() + 3, "S");
  ASSERT_EQ(run_program(working_folder, form_s).exit_status, 0);
  const std::string selection_s = read_file(results / utf8_path(selection_name));
  const std::string rest_s = read_file(results / utf8_path(rest_name));

  // Record paths are relative to the working folder; read the files from there.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(working_folder);
  std::map<std::string, std::vector<Record>> by_path;
  std::string selection_texts;
  std::string rest_texts;
  parse_records(selection_i, arguments[2], by_path, selection_texts);
  parse_records(rest_i, arguments[2], by_path, rest_texts);
  std::filesystem::current_path(here);
  EXPECT_EQ(selection_s, std::string(bom) + selection_texts);
  EXPECT_EQ(rest_s, std::string(bom) + rest_texts);

  for (auto& [path, records] : by_path) {
    SCOPED_TRACE(path);
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
      return std::tie(a.first, a.last) < std::tie(b.first, b.last);
    });
    const std::vector<std::string> lines =
        file_lines(read_file(working_folder / utf8_path(path.empty() ? "." : path)));
    std::uint64_t next = 1;
    for (const Record& record : records) {
      EXPECT_EQ(record.first, next) << "gap or overlap";
      std::string expected;
      for (std::uint64_t line = record.first;
           line <= std::min<std::uint64_t>(record.last, lines.size()); ++line) {
        expected += lines[line - 1] + "\r\n";
      }
      EXPECT_EQ(record.text, expected);
      next = record.last + 1;
    }
    EXPECT_EQ(next - 1, std::max<std::uint64_t>(lines.size(), 1)) << "lines left over at the end";
  }
}

}  // namespace korvidan::testing
