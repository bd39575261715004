// The results stage's fixed texts, byte for byte.
#pragma once

namespace korvidan::results::messages {

inline constexpr const char* cannot_write = "cannot write !!";

inline constexpr const char* byte_order_mark = "\xEF\xBB\xBF";
inline constexpr const char* line_end = "\r\n";
inline constexpr const char* range_mark = "--";
inline constexpr const char* gap = "  ";

}  // namespace korvidan::results::messages
