#pragma once

namespace korvidan::conditions::messages {

// The generic fatal stop for a condition file that cannot be opened.
inline constexpr const char* cannot_open_condition_file = "複合条件ファイルを開けませんでした";

inline constexpr const char* feff = "\xEF\xBB\xBF";

}  // namespace korvidan::conditions::messages
