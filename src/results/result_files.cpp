#include <algorithm>
#include <charconv>

#include "results/messages.hpp"
#include "results/results.hpp"

namespace korvidan::results {
namespace {

class FileTarget final : public ResultTarget {
 public:
  explicit FileTarget(platform::Handle handle) : handle_(handle) {}
  platform::Written write(std::string_view bytes) override {
    return platform::write_all(handle_, bytes);
  }
  platform::Status truncate(std::uint64_t size) override {
    return platform::truncate_file(handle_, size);
  }
  void close() { platform::close_file(handle_); }

 private:
  platform::Handle handle_;
};

char* put_decimal(char* at, std::uint64_t value) { return std::to_chars(at, at + 20, value).ptr; }

char* put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

}  // namespace

struct ResultFiles::OwnedFiles {
  FileTarget selection;
  FileTarget rest;
  bool open = true;
};

platform::Result<std::unique_ptr<ResultFiles>> ResultFiles::create(std::string_view selection_path,
                                                                   std::string_view rest_path,
                                                                   bool indexed) {
  platform::Result<platform::Handle> selection = platform::create_result_file(selection_path);
  if (!selection.ok()) return selection.error();
  platform::Result<platform::Handle> rest = platform::create_result_file(rest_path);
  if (!rest.ok()) {
    platform::close_file(selection.value());
    return rest.error();
  }
  auto owned = std::make_unique<OwnedFiles>(
      OwnedFiles{FileTarget(selection.value()), FileTarget(rest.value())});
  auto files = std::make_unique<ResultFiles>(owned->selection, owned->rest, indexed);
  files->owned_ = std::move(owned);
  return files;
}

ResultFiles::ResultFiles(ResultTarget& selection, ResultTarget& rest, bool indexed,
                         std::size_t buffer_size)
    : indexed_(indexed) {
  for (auto [side, target] : {std::pair{&selection_, &selection}, std::pair{&rest_, &rest}}) {
    side->target = target;
    side->storage.reset(new char[buffer_size]);
    side->buffer = side->storage.get();
    side->capacity = side->buffer_size = buffer_size;
  }
}

ResultFiles::~ResultFiles() { close(); }

void ResultFiles::write_byte_order_marks() {
  for (Side* side : {&selection_, &rest_}) {
    switch_to(*side);
    append(*side, messages::byte_order_mark);
  }
}

void ResultFiles::begin_file(std::string_view path) {
  selection_.in_file = 0;
  rest_.in_file = 0;
  if (!indexed_) return;
  path_.assign(path);
  for (Side* side : {&selection_, &rest_}) {
    switch_to(*side);
    append(*side, path_);
    append(*side, messages::line_end);
  }
}

void ResultFiles::switch_to(Side& side) {
  if (stop_) return;
  last_side_ = &side;
  // A run that took no bytes holds no byte that could fail: the new one replaces it, so
  // that the log never holds more runs than the buffer holds bytes.
  const Segment segment{side.position(), other(side).position()};
  if (!side.segments.empty() && side.segments.back().start == segment.start) {
    side.segments.back() = segment;
  } else {
    side.segments.push_back(segment);
  }
}

void ResultFiles::write_heading(Side& side, std::uint64_t first_line, std::uint64_t last_line) {
  // The heading around the path is built in one go: four numbers of at most 20 digits and
  // eight bytes of marks and line ends.
  char heading[4 * 20 + 8];
  char* at = put_decimal(heading, ++side.total);
  at = put(at, messages::line_end);
  at = put_decimal(at, first_line);
  at = put(at, messages::range_mark);
  at = put_decimal(at, last_line);
  at = put(at, messages::gap);
  append(side, std::string_view(heading, static_cast<std::size_t>(at - heading)));
  if (!path_.empty()) append(side, path_);
  at = put(heading, messages::line_end);
  at = put_decimal(at, ++side.in_file);
  at = put(at, messages::line_end);
  append(side, std::string_view(heading, static_cast<std::size_t>(at - heading)));
}

void ResultFiles::overflow(Side& side, std::string_view bytes) {
  if (stop_ || !flush(side)) return;
  if (bytes.size() >= side.capacity) {
    write_out(side, bytes);
    return;
  }
  std::memcpy(side.buffer, bytes.data(), bytes.size());
  side.used = bytes.size();
}

bool ResultFiles::flush(Side& side) {
  if (side.used != 0) {
    const std::string_view pending(side.buffer, side.used);
    side.used = 0;
    write_out(side, pending);
  }
  return !stop_;
}

void ResultFiles::write_out(Side& side, std::string_view bytes) {
  const platform::Written written = side.target->write(bytes);
  side.written += written.bytes;
  if (!written.ok()) {
    write_failed(side, *written.error);
    return;
  }
  // Only the segment that holds the next unwritten byte, and those after it, can matter.
  const auto holding =
      std::upper_bound(side.segments.begin(), side.segments.end(), side.written,
                       [](std::uint64_t at, const Segment& segment) { return at < segment.start; });
  if (holding - side.segments.begin() > 1) side.segments.erase(side.segments.begin(), holding - 1);
}

std::uint64_t ResultFiles::other_position_at(const Side& side, std::uint64_t position) {
  const auto holding =
      std::upper_bound(side.segments.begin(), side.segments.end(), position,
                       [](std::uint64_t at, const Segment& segment) { return at < segment.start; });
  return holding == side.segments.begin() ? 0 : (holding - 1)->other_position;
}

// Unbuffered, the program would have stopped at the failing write request, and the other
// file would hold exactly what was decided before that request: it is written up to there,
// or cut back to there if it took later bytes already. If its own bytes owed fail on the
// way, that request came first: it is the stop, and the failing file is cut back instead.
// A cut that fails changes nothing more: the stop is decided.
void ResultFiles::write_failed(Side& failing, const platform::Error& error) {
  Side& partner = other(failing);
  const std::uint64_t partner_target = other_position_at(failing, failing.written);
  if (partner.written > partner_target) {
    if (partner.target->truncate(partner_target).ok()) partner.written = partner_target;
  } else {
    const std::string_view owed(partner.buffer,
                                static_cast<std::size_t>(partner_target - partner.written));
    const platform::Written written = partner.target->write(owed);
    partner.written += written.bytes;
    if (!written.ok()) {
      const std::uint64_t own_target = other_position_at(partner, partner.written);
      if (failing.written > own_target && failing.target->truncate(own_target).ok()) {
        failing.written = own_target;
      }
      stop_writing(*written.error, partner, partner.written);
      return;
    }
  }
  stop_writing(error, failing, failing.written);
}

void ResultFiles::stop_writing(const platform::Error& cause, const Side& failing,
                               std::uint64_t at) {
  // Every later append goes to overflow(), which writes nothing any more.
  for (Side* side : {&selection_, &rest_}) {
    side->used = 0;
    side->capacity = 0;
  }
  failed_side_ = &failing;
  failed_at_ = at;
  stop_ = platform::stop_here(messages::cannot_write, cause);
}

void ResultFiles::take_back(const Mark& mark) {
  if (stop_) {
    if (mark.stopped) return;
    const std::uint64_t failed_mark = failed_side_ == &selection_ ? mark.selection : mark.rest;
    if (failed_at_ < failed_mark) return;  // failed on a byte decided before the mark
    // Both files hold at least what was decided before the mark: the failing one took every
    // byte before the failing request, the other every byte decided before it.
    stop_.reset();
  }
  for (auto [side, position] :
       {std::pair{&selection_, mark.selection}, std::pair{&rest_, mark.rest}}) {
    side->capacity = side->buffer_size;
    if (side->written > position) {
      const platform::Status cut = side->target->truncate(position);
      if (!cut.ok()) {
        stop_writing(cut.error(), *side, position);
        return;
      }
      side->written = position;
      side->used = 0;
    } else {
      side->used = static_cast<std::size_t>(position - side->written);
    }
    // The runs of writes that began after the mark are gone; the next write opens one.
    while (!side->segments.empty() && side->segments.back().start > position) {
      side->segments.pop_back();
    }
  }
  last_side_ = nullptr;
  selection_.total = mark.selected_total;
  rest_.total = mark.rest_total;
}

std::optional<platform::Stop> ResultFiles::finish() {
  if (flush(selection_)) (void)flush(rest_);
  return stop_;
}

void ResultFiles::close() {
  if (!owned_ || !owned_->open) return;
  owned_->rest.close();
  owned_->selection.close();
  owned_->open = false;
}

}  // namespace korvidan::results
