// UTF-8 decoding for names and console text: one character's length, the lossy form that
// shows invalid sequences as U+FFFD, and WTF-8, which carries unpaired surrogates.
#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

// Length of the maximal subpart at `at` that is a prefix of some valid sequence (at least
// 1): the unit that lossy decoding replaces by one U+FFFD.
std::size_t invalid_subpart_length(const unsigned char* bytes, std::size_t at, std::size_t size) {
  const unsigned char lead = bytes[at];
  std::size_t expected = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    expected = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    expected = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    expected = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  std::size_t length = 1;
  while (length < expected && at + length < size) {
    const unsigned char next = bytes[at + length];
    const unsigned char next_low = length == 1 ? low : 0x80;
    const unsigned char next_high = length == 1 ? high : 0xBF;
    if (next < next_low || next > next_high) break;
    ++length;
  }
  return length;
}

void append_utf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace

// Length of the valid sequence starting at `at`, or 0 when it is not valid UTF-8.
// `allow_surrogates` accepts ED A0..BF (encoded surrogates), as WTF-8 does.
std::size_t utf8_sequence_length(const unsigned char* bytes, std::size_t at, std::size_t size,
                                 bool allow_surrogates) {
  const unsigned char lead = bytes[at];
  if (lead < 0x80) return 1;
  auto continuation = [&](std::size_t offset, unsigned char low, unsigned char high) {
    return at + offset < size && bytes[at + offset] >= low && bytes[at + offset] <= high;
  };
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1, 0x80, 0xBF) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0) low = 0xA0;  // overlong
    if (lead == 0xED && !allow_surrogates) high = 0x9F;
    return continuation(1, low, high) && continuation(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    return continuation(1, low, high) && continuation(2, 0x80, 0xBF) && continuation(3, 0x80, 0xBF)
               ? 4
               : 0;
  }
  return 0;
}

std::string lossy_utf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = utf8_sequence_length(bytes, at, text.size(), false);
    if (length != 0) {
      out.append(text.substr(at, length));
      at += length;
    } else {
      out.append("\xEF\xBF\xBD");
      at += invalid_subpart_length(bytes, at, text.size());
    }
  }
  return out;
}

std::optional<std::u16string> wtf8_to_utf16(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::u16string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = utf8_sequence_length(bytes, at, text.size(), true);
    if (length == 0) return std::nullopt;
    std::uint32_t code_point = bytes[at];
    if (length > 1) {
      code_point &= 0x7FU >> length;
      for (std::size_t i = 1; i < length; ++i)
        code_point = (code_point << 6) | (bytes[at + i] & 0x3FU);
    }
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code_point));
    }
    at += length;
  }
  return out;
}

std::string utf16_to_wtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00U);
      ++i;
    }
    append_utf8(out, unit);  // an unpaired surrogate is kept as its own 3-byte form
  }
  return out;
}

}  // namespace korvidan::platform
