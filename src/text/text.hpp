// Text kernels and text rules: UTF-8 validation, the line rule, line ends and keyword
// filters 32 or 64 positions a step. No file, no console, no output format: bytes in,
// answers out. The vector paths run where the processor has AVX2 (or AVX-512); each has a
// scalar twin.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvidan::text {

// The kernels' paths, narrowest first. Tests run the narrower ones on whole inputs by
// forcing them; the program never does.
enum class Kernels { scalar, avx2, avx512 };
Kernels widest_kernels();  // what this processor has, lowered by KORVIDAN_KERNELS
void force_kernels(Kernels most);

// ---- UTF-8

bool is_valid_utf8(std::string_view bytes);
// The same check over a text that comes in pieces, which may split a character anywhere.
class Utf8Checker {
 public:
  // False once the bytes so far cannot begin a valid text.
  bool feed(std::string_view bytes);
  // False when the text ended inside a character, or an earlier piece failed.
  bool finish() const { return valid_ && pending_size_ == 0; }

 private:
  bool valid_ = true;
  unsigned char pending_[4] = {};  // a character still missing its last bytes
  std::size_t pending_size_ = 0;
};
// ---- the line rule

// The one line rule for every text the program reads: a text is cut after every LF; each
// piece loses that LF and one CR directly before it; a final LF opens no further line; a
// last piece without LF is a line unchanged, trailing CR included; an empty text has none.
template <class OnLine>
void for_each_line(std::string_view text, OnLine&& on_line) {
  std::size_t position = 0;
  while (position < text.size()) {
    const void* found = std::memchr(text.data() + position, '\n', text.size() - position);
    if (found == nullptr) {
      on_line(text.substr(position));
      return;
    }
    const std::size_t line_feed =
        static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    std::size_t end = line_feed;
    if (end > position && text[end - 1] == '\r') --end;
    on_line(text.substr(position, end - position));
    position = line_feed + 1;
  }
}

inline std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for_each_line(text, [&lines](std::string_view line) { lines.push_back(line); });
  return lines;
}

// Lines of a text as the result files hold them: each followed by CR LF, whatever its line
// end was. [begin, end) are the lines' raw bytes in `text`; `bare_line_feeds` lists the
// positions in `text` of the LFs among them that have no CR before them, in order (unless
// not `listed`: then they are found as the lines are emitted), and `unterminated` says the
// last line has no LF at all.
struct LineRegion {
  std::string_view text;
  std::size_t begin = 0;
  std::size_t end = 0;
  std::span<const std::size_t> bare_line_feeds;
  bool unterminated = false;
  bool listed = true;

  std::string_view raw() const { return text.substr(begin, end - begin); }
  // The CR LF form, in as few pieces as it can: the raw runs between bare LFs, and CR LF.
  template <class Emit>
  void emit_crlf(Emit&& emit) const {
    if (!listed) {
      emit_found(emit);
      return;
    }
    std::size_t run_start = begin;
    for (const std::size_t line_feed : bare_line_feeds) {
      if (line_feed > run_start) emit(text.substr(run_start, line_feed - run_start));
      emit(std::string_view("\r\n"));
      run_start = line_feed + 1;
    }
    if (end > run_start) emit(text.substr(run_start, end - run_start));
    if (unterminated) emit(std::string_view("\r\n"));
  }

 private:
  // The same, the bare LFs found on the way. A region begins a line: an LF first in it
  // has no CR before it.
  template <class Emit>
  void emit_found(Emit& emit) const {
    std::size_t run_start = begin;
    for (std::size_t at = begin; at < end;) {
      const void* found = std::memchr(text.data() + at, '\n', end - at);
      if (found == nullptr) break;
      const auto line_feed =
          static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
      if (line_feed == begin || text[line_feed - 1] != '\r') {
        if (line_feed > run_start) emit(text.substr(run_start, line_feed - run_start));
        emit(std::string_view("\r\n"));
        run_start = line_feed + 1;
      }
      at = line_feed + 1;
    }
    if (end > run_start) emit(text.substr(run_start, end - run_start));
    if (unterminated) emit(std::string_view("\r\n"));
  }
};

// ---- byte scans

// The bytes among the 64 at `at` that are not UTF-8 continuation bytes (so may begin a
// character), as bits from the lowest. All 64 must be readable.
std::uint64_t character_starts(const char* at);

// Finds the character starts where one of many strings of at least six bytes, each
// beginning a character, may start, by six of their bytes (the last two of each of three
// three-byte characters; a string too short for one has every value there), 64 or 32
// positions a step where the processor can: never passes over a place where one does
// start. The strings are spread over 16 buckets where the processor has AVX-512, else 8;
// the more strings, the more places pass.
class FingerprintFilter {
 public:
  static constexpr unsigned fingerprint_bytes = 6;
  static constexpr std::size_t reads_after = 8;  // bytes read after the blocks
  // By table (buckets 0 to 7, 8 to 15), fingerprint byte and its low six bits: the buckets
  // holding a string with that value there.
  using Tables = std::uint8_t[2][fingerprint_bytes][64];

  explicit FingerprintFilter(const std::vector<std::string_view>& strings);
  unsigned buckets() const { return buckets_; }  // for tests
  // The bucket a string is in; the strings given must all be at least six bytes.
  unsigned bucket_of(std::string_view string) const;
  // The share of positions that pass if the fingerprint bytes were random.
  double pass_rate() const;
  // For each of `blocks` blocks of 64 positions from `at`, the candidates that are
  // character starts (bytes other than 0x80 to 0xBF), as bits from the lowest.
  void candidate_starts(const char* at, std::size_t blocks, std::uint64_t* found) const;

 private:
  unsigned buckets_;
  unsigned short_buckets_ = 0;  // the last ones, for strings shorter than nine bytes
  Tables tables_ = {};
};

// How many LFs `text` holds, 32 bytes a step where the processor can.
std::size_t count_line_feeds(std::string_view text);

// Finds a text's LFs one after another. Where the processor has AVX2, the LFs of the next
// 4 KiB are found in one go, 64 positions a step, and kept as bits, so that a line costs a
// few bit operations and no new search.
class LineFeedScanner {
 public:
  // The first LF at or after `from`, or text.size(). Calls on one text go forward;
  // another text (or the same bytes moved) needs `reset` first.
  std::size_t next(std::string_view text, std::size_t from) {
    while (from < text.size()) {
      if (from - base_ < kept_) {
        // The LF in this word, or else the first in the next word that has one, chosen
        // without a branch: which of the two it is follows the lines' lengths (a branch on
        // it made the program 1.03 of the time on typical text).
        const std::size_t offset = from - base_;
        const std::size_t word = offset / 64;
        const std::uint64_t here = words_[word] & (~std::uint64_t{0} << (offset % 64));
        const std::uint64_t later = word + 1 < kept_words ? filled_ >> (word + 1) : 0;
        const std::size_t next_word =
            later != 0 ? word + 1 + static_cast<std::size_t>(std::countr_zero(later)) : kept_words;
        const std::size_t in_here = word * 64 + static_cast<std::size_t>(std::countr_zero(here));
        const std::size_t in_next =
            next_word * 64 + static_cast<std::size_t>(std::countr_zero(words_[next_word]));
        if (here != 0 || later != 0) return base_ + (here != 0 ? in_here : in_next);
        from = base_ + kept_;
        continue;
      }
      if (!keep(text, from)) return search(text, from);
    }
    return text.size();
  }
  void reset() { kept_ = 0; }

 private:
  static constexpr std::size_t kept_words = 64;
  // The LFs of up to kept_words * 64 bytes from `from`; false where the processor has no
  // vector path.
  bool keep(std::string_view text, std::size_t from);
  static std::size_t search(std::string_view text, std::size_t from);
  std::size_t base_ = 0;  // the first position words_ tell about
  std::size_t kept_ = 0;  // how many
  // A word past the last, always empty, so that the choice above may read it.
  std::uint64_t words_[kept_words + 1] = {};
  std::uint64_t filled_ = 0;  // which words have an LF
};

// Finds the places where one of a few byte strings may start by testing two of each
// string's bytes there, 32 positions a step where the processor can (64 with AVX-512). Each string
// is given by two probes (a byte and its offset in the string); a position is a candidate when both
// probes of some string lie inside the text and hold their bytes.
class ProbeFilter {
 public:
  struct Probes {
    std::size_t first_offset = 0;
    std::size_t second_offset = 0;
    unsigned char first = 0;
    unsigned char second = 0;
  };
  static constexpr std::size_t max_strings = 8;
  // Whether next_candidate steps 32 or 64 positions at a time here; without that, one search per
  // string is faster.
  static bool vectorized();
  // One to max_strings strings.
  explicit ProbeFilter(const std::vector<Probes>& strings);
  // The first candidate position at or after `from`, or text.size(). `readable_after`
  // bytes after the text's end may be read (never taken for the text's).
  std::size_t next_candidate(std::string_view text, std::size_t from,
                             std::size_t readable_after = 0) const;

 private:
  bool candidate(const unsigned char* bytes, std::size_t size, std::size_t at) const;
  std::vector<Probes> strings_;
  std::size_t reach_ = 0;  // the largest offset of any probe
};

}  // namespace korvidan::text
