// The condition text, loaded and prepared: the prepared groups answer as the plain state
// machine does on a fixed set of passages, and on passages made of the condition text's
// own bytes, where long keyword lists find their keywords at every offset.
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
  // The text itself, and its lines run together: each a passage text.
  std::string joined;
  for (const char c : condition_text) {
    if (c != '\n') joined += c;
  }
  for (std::size_t cut = 0; cut < 3 && cut <= joined.size(); ++cut) {
    for (const std::string_view passage :
         {std::string_view(condition_text), std::string_view(joined).substr(cut)}) {
      FUZZ_CHECK(matcher.selected(passage) ==
                 korvidan::conditions::passage_selected(condition_text, passage));
    }
  }
  return 0;
}
