#include "scan/open_ahead.hpp"

#include <utility>

namespace korvidan::scan {

// Idle opening threads are woken four files at a time: where opens are quick, a wake-up
// for each file cost more than the open.
OpenAhead::OpenAhead(std::size_t threads, std::size_t window, BlockPool& blocks, Open open)
    : blocks_(blocks),
      files_(threads, window, (window + 3) / 4,
             [open = std::move(open)](Asked& asked, std::size_t) {
               asked.opened = open(std::move(asked.file), asked.block);
             }) {}

OpenAhead::~OpenAhead() {
  files_.stop([this](Asked& asked, bool done) {
    if (!done) {
      blocks_.release(asked.block);
      return;
    }
    if (asked.opened.file.handle) platform::close_file(*asked.opened.file.handle);
    if (TextBytes* const text =
            asked.opened.first ? std::get_if<TextBytes>(&*asked.opened.first) : nullptr) {
      blocks_.release(text->block);
    }
  });
}

std::optional<OpenedFile> OpenAhead::take() {
  std::optional<Asked> asked = files_.take();
  if (!asked) return std::nullopt;
  return std::move(asked->opened);
}

}  // namespace korvidan::scan
