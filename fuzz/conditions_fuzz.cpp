// The condition text, loaded and prepared: the prepared groups answer as the plain state
// machine does on a fixed set of passages.
#include <cstddef>
#include <cstdint>
#include <string>

#include "conditions/conditions.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string condition_text = korvidan::conditions::strip_leading_feff(raw);
  FUZZ_CHECK(condition_text.size() <= raw.size());
  const korvidan::conditions::ConditionMatcher matcher(condition_text);
  static const char* const passages[] = {"",
                                         "\r\n",
                                         "東京\r\n",
                                         "東京と大阪\r\n\r\n",
                                         "a\rb\r\n+++\r\n",
                                         "\xEF\xBB\xBF東京\r\n",
                                         "abc ABC ＡＢＣ\r\nx\r\r\n"};
  for (const char* passage : passages) {
    FUZZ_CHECK(matcher.selected(passage) ==
               korvidan::conditions::passage_selected(condition_text, passage));
  }
  return 0;
}
