#include "support/write_oracle.hpp"

#include <algorithm>

namespace korvidan::testing {

ResultBytes under_limit(const std::vector<WriteRequest>& requests, std::uint64_t limit) {
  ResultBytes result;
  for (const WriteRequest& request : requests) {
    std::string& file = request.to_selection ? result.selection : result.rest;
    const std::uint64_t room = limit > file.size() ? limit - file.size() : 0;
    if (request.bytes.size() <= room) {
      file += request.bytes;
      continue;
    }
    file += request.bytes.substr(0, static_cast<std::size_t>(room));
    result.cut_short = true;
    break;
  }
  return result;
}

std::string TextFileModel::text() const {
  std::string text;
  for (std::size_t i = 0; i < passages.size(); ++i) {
    if (i != 0) text += "\n";
    for (const std::string& line : passages[i]) text += line + "\n";
  }
  return text;
}

std::vector<WriteRequest> unbuffered_requests(const std::vector<TextFileModel>& files,
                                              std::string_view keyword, bool indexed,
                                              bool folder_run) {
  const std::string bom = "\xEF\xBB\xBF";
  std::vector<WriteRequest> requests = {{true, bom}, {false, bom}};
  std::uint64_t selected_total = 0;
  std::uint64_t rest_total = 0;
  for (const TextFileModel& file : files) {
    if (indexed && folder_run) {
      requests.push_back({true, file.shown_path + "\r\n"});
      requests.push_back({false, file.shown_path + "\r\n"});
    }
    std::uint64_t selected_in_file = 0;
    std::uint64_t rest_in_file = 0;
    std::uint64_t first_line = 1;
    for (std::size_t i = 0; i < file.passages.size(); ++i) {
      const std::vector<std::string>& lines = file.passages[i];
      const bool last = i + 1 == file.passages.size();
      const bool selected = std::any_of(lines.begin(), lines.end(), [keyword](const auto& line) {
        return line.find(keyword) != std::string::npos;
      });
      std::string text;
      for (const std::string& line : lines) text += line + "\r\n";
      if (!last) text += "\r\n";
      const std::uint64_t last_line = first_line + lines.size() - (last ? 1 : 0);
      if (indexed) {
        const std::uint64_t run_count = selected ? ++selected_total : ++rest_total;
        const std::uint64_t in_file = selected ? ++selected_in_file : ++rest_in_file;
        requests.push_back({selected, std::to_string(run_count) + "\r\n" +
                                          std::to_string(first_line) + "--" +
                                          std::to_string(last_line) + "  " + file.shown_path +
                                          "\r\n" + std::to_string(in_file) + "\r\n"});
      }
      requests.push_back({selected, text});
      first_line = last_line + 1;
    }
  }
  return requests;
}

}  // namespace korvidan::testing
