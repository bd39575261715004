// What the result files of a run must hold, made with the plain rules file after file:
// the oracle of the tests that run the program over generated trees.
#pragma once

#include <cstdint>
#include <string>

#include "conditions/conditions.hpp"
#include "passages/passages.hpp"
#include "support/fixture.hpp"

namespace korvidan::testing {

struct PlainResults {
  std::string selection{bom};
  std::string rest{bom};
  std::uint64_t totals[2] = {0, 0};

  // Form I: the file's heading line in both files.
  void add_heading(const std::string& shown_path) {
    selection += shown_path + "\r\n";
    rest += shown_path + "\r\n";
  }
  // One file: split_passages, then passage_selected on each passage text.
  void add_file(const std::string& shown_path, const std::string& text,
                const std::string& conditions, std::int32_t break_count, bool indexed) {
    if (indexed) add_heading(shown_path);
    passages::PassageWorkspace workspace;
    passages::split_passages(break_count, text, workspace);
    std::uint64_t in_file[2] = {0, 0};
    for (const passages::Passage& passage : workspace.passages) {
      const int side = conditions::passage_selected(conditions, passage.text) ? 0 : 1;
      std::string& out = side == 0 ? selection : rest;
      if (indexed) {
        out += std::to_string(++totals[side]) + "\r\n" + std::to_string(passage.first_line) + "--" +
               std::to_string(passage.last_line) + "  " + shown_path + "\r\n" +
               std::to_string(++in_file[side]) + "\r\n";
      }
      out += passage.text;
    }
  }
};

}  // namespace korvidan::testing
