// Generates the keyword lists that resemble each other, with a text for each:
//   korvidan_lists DIR
// For each kind K it writes DIR/K/text.txt, the list DIR/K.jkn, the same list with LF ends
// for other tools DIR/K.lst (not for the kind whose keywords end in CR), and one short
// keyword that is rare in the text, DIR/K-one.jkn:
//   companies  2,000 company names, all beginning 株式会社; lines naming other companies
//   shared     400 keywords sharing a 30-byte beginning; a text made of that beginning
//              followed by other endings (near misses at every line)
//   cr         400 terms of a condition file saved with CR CR LF line ends, so that each
//              keyword ends in CR; prose
//   log        400 timestamps of one day with a level; a log of that day, one entry a
//              line (searched with break count 1)
//   dictionary 100,000 words; prose
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "prose.hpp"
#include "words.hpp"

namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string lines_of(const std::vector<std::string>& words, std::size_t from, std::size_t count,
                     const std::string& end) {
  std::string text;
  for (std::size_t i = from; i < from + count; ++i) text += words[i] + end;
  return text;
}

// Passages of two to six lines, each line from `line`, separated by an empty line.
template <class Line>
std::string passages(std::size_t bytes, std::mt19937& random, Line line) {
  std::string text;
  text.reserve(bytes + 4096);
  while (text.size() < bytes) {
    const int lines = 2 + static_cast<int>(random() % 5);
    for (int i = 0; i < lines; ++i) text += line() + "\n";
    text += "\n";
  }
  return text;
}

void kind(const fs::path& dir, const std::string& name, const std::string& text,
          const std::string& list, const std::string& plain_list, const std::string& one) {
  fs::create_directories(dir / name);
  write(dir / name / "text.txt", text);
  write(dir / (name + ".jkn"), list);
  if (!plain_list.empty()) write(dir / (name + ".lst"), plain_list);
  write(dir / (name + "-one.jkn"), one + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvidan_lists DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];
  std::mt19937 random(20261210);
  const std::string rare = "該当なし";  // the one short keyword: once a few megabytes
  const auto sometimes_rare = [&](std::string line) {
    return random() % 20000 == 0 ? line + rare : line;
  };

  {
    // 22,000 names; the list takes 2,000, the text names all of them.
    const auto names = korvidan::bench::distinct(22000, [&] {
      return "株式会社" +
             (random() % 2 == 0
                  ? korvidan::bench::pick(korvidan::bench::katakana(), random, 2 + random() % 5)
                  : korvidan::bench::pick(korvidan::bench::kanji(), random, 2 + random() % 3));
    });
    const std::string list = lines_of(names, 0, 2000, "\n");
    const std::string text = passages(41'000'000, random, [&] {
      // Mostly names not in the list.
      const std::size_t at = random() % 50 == 0 ? random() % 2000 : 2000 + random() % 20000;
      return sometimes_rare(names[at] + "は" + korvidan::bench::random_sentence(random));
    });
    kind(dir, "companies", text, list, list, rare);
  }
  {
    const std::string beginning = "東京都千代田区大手町一";  // 33 bytes
    const auto endings = korvidan::bench::distinct(
        4000, [&] { return korvidan::bench::pick(korvidan::bench::kanji(), random, 2); });
    std::string list;
    for (std::size_t i = 0; i < 400; ++i) list += beginning + endings[i] + "\n";
    const std::string text = passages(25'000'000, random, [&] {
      std::string line;
      const int mentions = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < mentions; ++i) {
        const std::size_t at = random() % 200 == 0 ? random() % 400 : 400 + random() % 3600;
        line += beginning + endings[at] + "、";
      }
      return sometimes_rare(line);
    });
    kind(dir, "shared", text, list, list, rare);
  }
  {
    const auto& words = korvidan::bench::vocabulary();
    std::string list;
    for (std::size_t i = 0; i < 400; ++i) list += words[random() % words.size()] + "\r\r\n";
    std::string text = korvidan::bench::generate_prose(27'000'000, false, false, false, random);
    kind(dir, "cr", text, list, "", "京都タワー");
  }
  {
    const auto stamp = [&](unsigned long second) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "2026-12-10 %02lu:%02lu:%02lu", second / 3600,
                    second / 60 % 60, second % 60);
      return std::string(buffer);
    };
    const std::vector<std::string> levels = {"INFO", "WARN", "ERROR", "DEBUG"};
    std::string list;
    for (std::size_t i = 0; i < 400; ++i) list += stamp(random() % 86400) + " ERROR\n";
    std::string text;
    text.reserve(57'000'000 + 4096);
    unsigned long second = 0;
    while (text.size() < 57'000'000) {
      second = (second + random() % 2) % 86400;
      text += stamp(second) + " " + levels[random() % levels.size()] + " worker-" +
              std::to_string(random() % 16) + ": " + korvidan::bench::random_sentence(random);
      if (random() % 20000 == 0) text += rare;
      text += "\n";
    }
    kind(dir, "log", text, list, list, rare);
  }
  {
    const auto words = korvidan::bench::dictionary(100000, random);
    const std::string list = lines_of(words, 0, words.size(), "\n");
    std::string text = korvidan::bench::generate_prose(27'000'000, false, false, false, random);
    kind(dir, "dictionary", text, list, list, "京都タワー");
  }
  return 0;
}
