// Generates the benchmark corpora deterministically from Japanese prose sentences:
//   korvidan_corpus tree  DIR BYTES   about BYTES in 5,000 files in nested folders
//   korvidan_corpus big   DIR BYTES   one file of typical passages
//   korvidan_corpus tiny  DIR BYTES   one file whose passages are single short lines
//   korvidan_corpus list  FILE N      a condition file of two groups of N / 2 of the
//                                     corpus's own terms
// Files alternate LF and CR LF line ends; every third begins with a byte-order mark.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "prose.hpp"

namespace {

void write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: korvidan_corpus tree|big|tiny DIR BYTES | list FILE KEYWORDS\n");
    return 2;
  }
  const std::string shape = argv[1];
  if (shape == "list") {
    const std::size_t keywords = std::strtoull(argv[3], nullptr, 10);
    write(argv[2], korvidan::bench::keyword_list(2, keywords / 2, 15));
    return 0;
  }
  const std::filesystem::path folder = argv[2];
  const std::size_t bytes = std::strtoull(argv[3], nullptr, 10);
  std::mt19937 random(20261209);
  std::filesystem::create_directories(folder);
  if (shape == "tree") {
    const int files = 5000;
    for (int i = 0; i < files; ++i) {
      const std::filesystem::path sub =
          folder / ("d" + std::to_string(i % 10)) / ("e" + std::to_string(i / 10 % 10));
      std::filesystem::create_directories(sub);
      // Sizes vary from half to one and a half times the mean.
      const std::size_t size = bytes / files / 2 + random() % (bytes / files + 1);
      write(sub / ("文書" + std::to_string(i) + ".txt"),
            korvidan::bench::generate_prose(size, i % 2 == 1, i % 3 == 0, false, random));
    }
  } else if (shape == "big" || shape == "tiny") {
    write(folder / (shape + ".txt"),
          korvidan::bench::generate_prose(bytes, false, true, shape == "tiny", random));
  } else {
    std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
    return 2;
  }
  return 0;
}
