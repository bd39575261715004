#include "support/fixture.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

namespace korvidan::testing {

std::filesystem::path utf8_path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> listing_order(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

void ProgramTest::expect_cut_short_prefixes(const std::vector<std::string>& arguments,
                                            const std::string& folder,
                                            const std::vector<unsigned long long>& limits) const {
  SCOPED_TRACE(::testing::PrintToString(arguments));
  ASSERT_EQ(run(arguments).exit_status, 0);
  const std::string selection_path = folder + "/" + std::string(selection_name);
  const std::string rest_path = folder + "/" + std::string(rest_name);
  const std::string full_selection = read(selection_path);
  const std::string full_rest = read(rest_path);
  for (const unsigned long long limit : limits) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    RunOptions options;
    options.file_size_limit = limit;
    const ProgramRun limited = run(arguments, options);
    EXPECT_EQ(limited.exit_status, 101);
    EXPECT_EQ(limited.standard_output, "");
    EXPECT_NE(limited.standard_error.find("\ncannot write !!: File too large (os error 27)\n"),
              std::string::npos)
        << limited.standard_error;
    for (const auto& [path, full] :
         {std::pair{selection_path, full_selection}, std::pair{rest_path, full_rest}}) {
      const std::string written = read(path);
      EXPECT_LE(written.size(), limit);
      EXPECT_EQ(written, full.substr(0, written.size())) << path;
    }
  }
}

void ProgramTest::SetUp() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  root_ = std::filesystem::temp_directory_path() /
          ("korvidan-e2e-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(root_);
  // Readable and searchable for the unprivileged user of the permission tests.
  std::filesystem::permissions(root_, std::filesystem::perms::all);
}

void ProgramTest::TearDown() {
  std::error_code ignored;
  // Permission tests leave folders without rights; give them back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(root_, ignored);
}

}  // namespace korvidan::testing
