// The promise that nothing is lost, checked from outside on the result files of a run.
#pragma once

#include <string>
#include <vector>

#include "support/fixture.hpp"

namespace korvidan::testing {

// Runs the program in form I and then form S on `arguments` (break count, condition file,
// target, scope; the form is added) in `working_folder`, and checks that the form-I
// records of every searched file cover its lines exactly once, without gap or overlap,
// each with those lines as text (CR LF line ends, no byte-order mark), and that each
// form-S result file is the concatenation of the texts of the same form-I file's records.
// `result_folder` is where the result files land, relative to `working_folder`. Works for
// folder runs and single-file runs alike.
void expect_nothing_lost(const std::filesystem::path& working_folder,
                         const std::vector<std::string>& arguments,
                         const std::string& result_folder);

}  // namespace korvidan::testing
