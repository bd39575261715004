// The passage engine: cutting a file's text into passages, testing each against the
// condition groups, and writing it to the selection file or the rest file, as bare text
// (form S) or with its passage heading (form I). It never touches a file itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "passages/lines.hpp"
#include "platform/platform.hpp"

namespace korvidan::passages {

// ---- passages

// A passage with its own copy of its text, every line followed by CR LF.
struct Passage {
  std::string text;
  std::uint64_t first_line = 0;
  std::uint64_t last_line = 0;
  friend bool operator==(const Passage&, const Passage&) = default;
};

struct PassageWorkspace {
  std::string line_buffer;
  std::vector<Passage> passages;
  // Empties both, keeping their storage.
  void clear() {
    line_buffer.clear();
    passages.clear();
  }
};

// Cuts the whole text into `workspace.passages` (appended), each with a copy of its text.
// The straightforward form of the rule; the file processors use PassageCutter, which
// yields the same passages as views without copying.
void split_passages(std::int32_t break_count, std::string_view file_text,
                    PassageWorkspace& workspace);

// A passage as a region of the text: the raw bytes of its lines, the byte-order mark of
// the file excluded. `unterminated` says the region's last line has no LF in the file;
// `crlf_only` that every LF of the region follows a CR, so that the region is written as
// it stands (false only costs a second look at the line ends).
struct PassageSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::uint64_t first_line = 0;
  std::uint64_t last_line = 0;
  bool unterminated = false;
  bool crlf_only = false;
};

// Yields the passages of a file one by one, in order; at least one for every file. The
// file may come in pieces: each `start` hands over the text from the first byte still
// needed (the whole file, or the unconsumed bytes of the previous text followed by what
// has been read since), and `next` yields the passages that text completes.
class PassageCutter {
 public:
  explicit PassageCutter(std::int32_t break_count) : break_count_(break_count) {}
  PassageCutter(std::int32_t break_count, std::string_view file_text);
  void start(std::string_view text, bool end_of_file);
  // False when the text holds no further complete passage (or, at the end of the file,
  // after the last one).
  bool next(PassageSpan& span);
  // Bytes at the front of the current text that no passage needs any more.
  std::size_t consumed() const { return begin_; }
  // Where, in the current text, the passage `next` yielded last has an LF without CR
  // before it: the lines it has to write with a CR added.
  std::span<const std::size_t> bare_line_feeds() const {
    return {bare_line_feeds_.data(), yielded_bare_};
  }

 private:
  std::string_view text_;
  bool end_of_file_ = false;
  bool mark_decided_ = false;
  std::int64_t break_count_;
  std::size_t position_ = 0;
  std::size_t searched_ = 0;  // how far the current line has been searched for its LF
  platform::LineFeedScanner line_feeds_;
  std::uint64_t line_number_ = 0;
  // Wider than the line count's 32-bit origin so that billions of empty lines cannot wrap it.
  std::int64_t break_run_ = 1;
  std::uint64_t first_line_ = 1;
  std::size_t begin_ = 0;
  bool dropped_open_line_ = false;
  bool finished_ = false;
  // The bare LFs of the passage yielded last (the first yielded_bare_) and of the lines
  // read after it; once that passage is dropped, those of the passage being read.
  std::vector<std::size_t> bare_line_feeds_;
  std::size_t yielded_bare_ = 0;

  bool wait_for_more();
  void drop_yielded_line_feeds();
};

// The passage's text as the result files hold it: each line of the region followed by
// CR LF, whatever its line end was in the file. Emits it in as few pieces as it can.
template <class Emit>
void emit_passage_text(std::string_view file_text, const PassageSpan& span, Emit&& emit) {
  const std::string_view region = file_text.substr(span.begin, span.end - span.begin);
  if (span.crlf_only) {
    if (!region.empty()) emit(region);
    if (span.unterminated) emit(std::string_view("\r\n"));
    return;
  }
  std::size_t run_start = 0;
  std::size_t position = 0;
  while (position < region.size()) {
    const void* found = std::memchr(region.data() + position, '\n', region.size() - position);
    if (found == nullptr) break;
    const std::size_t line_feed =
        static_cast<std::size_t>(static_cast<const char*>(found) - region.data());
    if (line_feed == 0 || region[line_feed - 1] != '\r') {
      if (line_feed > run_start) emit(region.substr(run_start, line_feed - run_start));
      emit(std::string_view("\r\n"));
      run_start = line_feed + 1;
    }
    position = line_feed + 1;
  }
  if (region.size() > run_start) emit(region.substr(run_start));
  if (span.unterminated) emit(std::string_view("\r\n"));
}

// The same, with the LFs without CR known already (PassageCutter::bare_line_feeds).
template <class Emit>
void emit_passage_text(std::string_view file_text, const PassageSpan& span,
                       std::span<const std::size_t> bare_line_feeds, Emit&& emit) {
  std::size_t run_start = span.begin;
  for (const std::size_t line_feed : bare_line_feeds) {
    if (line_feed > run_start) emit(file_text.substr(run_start, line_feed - run_start));
    emit(std::string_view("\r\n"));
    run_start = line_feed + 1;
  }
  if (span.end > run_start) emit(file_text.substr(run_start, span.end - run_start));
  if (span.unterminated) emit(std::string_view("\r\n"));
}

// ---- conditions

// The plain test on a passage text: reads the condition text's lines afresh, AND across
// groups split by "+++" lines, OR within a group, exact byte substrings.
bool passage_selected(std::string_view condition_text, std::string_view passage_text);

// The condition text prepared once into groups of keywords, each with a substring
// searcher. Answers exactly as passage_selected does on the passage's text.
class ConditionMatcher {
 public:
  explicit ConditionMatcher(std::string_view condition_text);
  // `scratch` receives the passage text when a keyword ending in CR needs it.
  bool selected(std::string_view file_text, const PassageSpan& span, std::string& scratch) const;
  bool selected(std::string_view passage_text) const;

 private:
  struct Keyword {
    std::string_view bytes;
    std::size_t anchor;  // the position in `bytes` least likely to occur in Japanese text
    bool ends_in_cr;     // can only match the CR before a line's LF in the passage text
  };
  // Many keywords of one group tested in one pass: positions that may begin a keyword's
  // first two bytes are found 32 at a time, their first three bytes are looked up in a
  // bitmap of the keywords' first three bytes, and only the keywords of a hit are compared. A group
  // is satisfied by any of its keywords, so the order in which they are found does not matter.
  struct PrefixFilter {
    explicit PrefixFilter(const std::vector<std::string_view>& keywords);
    bool find_any(std::string_view haystack) const;
    std::uint32_t slot(const char* at) const;

    platform::PairFilter pairs;
    unsigned shift = 0;  // the slot is the top bits of a multiplicative hash
    std::vector<std::uint64_t> bitmap;
    std::vector<std::uint32_t> bucket_start;  // keywords of slot s: [start[s], start[s + 1])
    std::vector<std::string_view> bucket_keywords;
  };
  // A few keywords of one group tested in one pass: two bytes of each keyword, the ones
  // least likely in Japanese text, are compared 32 positions at a time, and the keywords
  // are compared only where some keyword's two bytes are found. A text with too few
  // readable bytes for a few such steps is searched keyword by keyword.
  struct ProbeSearch {
    explicit ProbeSearch(const std::vector<Keyword>& group_keywords);
    // `readable_after` bytes after the haystack may be read (never matched).
    bool find_any(std::string_view haystack, std::size_t readable_after) const;

    std::vector<Keyword> keywords;
    platform::ProbeFilter filter;
  };
  struct Group {
    std::vector<Keyword> keywords;  // searched one by one
    std::optional<PrefixFilter> filter;
    std::optional<ProbeSearch> probes;
    bool needs_passage_text = false;  // holds a keyword ending in CR
  };
  static bool contains(std::string_view haystack, const Keyword& keyword);
  bool group_found(const Group& group, std::string_view region, std::size_t readable_after,
                   const std::string_view* passage_text) const;
  std::vector<Group> groups_;
};

// ---- writing

// Where the processors put result bytes: a buffer, filled inline, and behind it whatever
// the implementation does with bytes that do not fit. append returns only once every byte
// is taken; a failure is the implementation's own fatal stop.
class ResultSink {
 public:
  ResultSink() = default;
  ResultSink(const ResultSink&) = delete;
  ResultSink& operator=(const ResultSink&) = delete;
  void append(std::string_view bytes) {
    if (*last_appended_ != this) switched();
    if (bytes.size() < capacity_ - used_) {
      std::memcpy(buffer_ + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    } else {
      take_overflow(bytes);
    }
  }

 protected:
  ~ResultSink() = default;
  virtual void take_overflow(std::string_view bytes) = 0;
  // Called when this sink is appended to after another sink of the same run, so that a
  // pair of sinks can tell the order of their bytes.
  virtual void switched() { *last_appended_ = this; }
  ResultSink* self_ = this;
  // Which sink of the pair was appended to last; a sink alone keeps it to itself.
  ResultSink** last_appended_ = &self_;
  char* buffer_ = nullptr;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

// Where one file's passages go. Form I also numbers them: the run counters go on across
// files, the counts in file start at 1 for every file.
struct PassageOutput {
  ResultSink* selection_file = nullptr;
  ResultSink* rest_file = nullptr;
  bool indexed = false;
  std::string_view path;
  std::uint64_t* selected_total = nullptr;
  std::uint64_t* rest_total = nullptr;
};

// One file's passages cut, tested and written as its text comes in. Form S writes each
// passage's text unchanged; form I first its heading: run count, "first--last  path",
// count in file.
class PassageStream {
 public:
  PassageStream(std::int32_t break_count, const ConditionMatcher& conditions,
                const PassageOutput& output);
  // Writes the passages that `text` completes and returns how many of its leading bytes
  // are done with: the next call's text must begin with the rest. At the end of the file,
  // every passage is written.
  std::size_t feed(std::string_view text, bool end_of_file);

 private:
  void write_heading(ResultSink& destination, bool selected, const PassageSpan& span);

  const ConditionMatcher& conditions_;
  PassageOutput output_;
  PassageCutter cutter_;
  std::string scratch_;
  std::uint64_t selected_in_file_ = 0;
  std::uint64_t rest_in_file_ = 0;
};

// A whole file's text in one go, in form S or form I.
void process_file_text_only(std::int32_t break_count, const ConditionMatcher& conditions,
                            std::string_view file_text, ResultSink& selection_file,
                            ResultSink& rest_file);
void process_file_indexed(std::int32_t break_count, const ConditionMatcher& conditions,
                          std::string_view file_text, std::uint64_t& selected_total,
                          std::uint64_t& rest_total, std::string_view path,
                          ResultSink& selection_file, ResultSink& rest_file);

}  // namespace korvidan::passages
