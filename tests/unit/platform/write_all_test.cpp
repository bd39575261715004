#include <gtest/gtest.h>

#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

// A writer that plays a script of attempts and records what it was given.
struct ScriptedWriter {
  explicit ScriptedWriter(std::vector<WriteAttempt> planned = {}) : script(std::move(planned)) {}
  std::vector<WriteAttempt> script;
  std::string written;
  std::size_t calls = 0;
  WriteSome writer() {
    return [this](std::string_view bytes) {
      WriteAttempt attempt =
          calls < script.size() ? script[calls] : WriteAttempt{bytes.size(), false, {}};
      ++calls;
      if (!attempt.interrupted && !attempt.error) {
        attempt.accepted = std::min(attempt.accepted, bytes.size());
        written.append(bytes.substr(0, attempt.accepted));
      }
      return attempt;
    };
  }
};

TEST(WriteAll, partial_and_interrupted_writes_are_repeated_until_all_is_taken) {
  ScriptedWriter fake({{2, false, {}}, {0, true, {}}, {1, false, {}}, {0, true, {}}});
  const Written written = write_all_with("abcdefg", fake.writer());
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.bytes, 7u);
  EXPECT_EQ(fake.written, "abcdefg");
  EXPECT_EQ(fake.calls, 5u);
}

TEST(WriteAll, a_write_that_takes_nothing_fails) {
  ScriptedWriter fake({{3, false, {}}, {0, false, {}}});
  const Written written = write_all_with("abcdef", fake.writer());
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error->kind, Error::Kind::write_zero);
  EXPECT_EQ(describe(*written.error), "failed to write whole buffer");
  EXPECT_EQ(fake.written, "abc");
  EXPECT_EQ(written.bytes, 3u);  // what the system took before the failure
}

TEST(WriteAll, an_error_stops_and_is_returned) {
  ScriptedWriter fake({{1, false, {}}, {0, false, Error{Error::Kind::os, 28}}});
  const Written written = write_all_with("abc", fake.writer());
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error->os_code, 28u);
  EXPECT_EQ(fake.written, "a");
  EXPECT_EQ(written.bytes, 1u);
}

TEST(WriteAll, nothing_to_write_makes_no_call) {
  ScriptedWriter fake;
  ASSERT_TRUE(write_all_with("", fake.writer()).ok());
  EXPECT_EQ(fake.calls, 0u);
}

TEST(Describe, system_errors_end_with_their_number) {
  const std::string text = describe(Error{Error::Kind::os, 2});
  EXPECT_TRUE(text.ends_with(" (os error 2)")) << text;
  EXPECT_GT(text.size(), std::string(" (os error 2)").size());
  EXPECT_EQ(describe(Error{Error::Kind::invalid_utf8}), "stream did not contain valid UTF-8");
  EXPECT_EQ(describe_with_kind(Error{Error::Kind::os, 2}).substr(0, 22), "code 2, kind NotFound,");
}

}  // namespace
}  // namespace korvidan::platform
