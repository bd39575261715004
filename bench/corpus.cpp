// Generates the benchmark corpora deterministically from Japanese prose sentences:
//   korvidan_corpus tree  DIR BYTES   about BYTES in 5,000 files in nested folders
//   korvidan_corpus big   DIR BYTES   one file of typical passages
//   korvidan_corpus tiny  DIR BYTES   one file whose passages are single short lines
// Files alternate LF and CR LF line ends; every third begins with a byte-order mark.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> sentences = {
    "春の京都を歩いた。",
    "朝早く宿を出て、鴨川沿いの道を北へ向かった。",
    "川面には薄い霧がかかり、桜の花びらが流れていた。",
    "昼は東京から来た友人と合流し、小さな食堂で湯豆腐を食べた。",
    "店の主人は、この店を四十年続けているのだと笑った。",
    "夕方、大阪行きの電車に乗る前に、駅の本屋で古い地図を一冊買った。",
    "冬の北海道では、雪が音を吸い込んでしまう。",
    "通勤の人々は足早に改札へ吸い込まれていく。",
    "最終電車を待つホームは、昼間よりずっと静かだ。",
    "夏祭りの夜、商店街には提灯が並んだ。",
    "京都の冬は底冷えがする。",
    "それでも庭の苔は、雪の下で青さを保っていた。",
    "会議の資料は第3版（2026年12月）を参照のこと。",
    "浴衣の子どもたちが金魚すくいの前に集まっている。"};

std::string text_of(std::size_t bytes, bool crlf, bool bom, bool one_line_passages,
                    std::mt19937& random) {
  const std::string end = crlf ? "\r\n" : "\n";
  std::string text = bom ? "\xEF\xBB\xBF" : "";
  text.reserve(bytes + 1024);
  while (text.size() < bytes) {
    const int lines = one_line_passages ? 1 : 2 + static_cast<int>(random() % 6);
    for (int line = 0; line < lines; ++line) {
      const int count = one_line_passages ? 1 : 1 + static_cast<int>(random() % 4);
      for (int s = 0; s < count; ++s) text += sentences[random() % sentences.size()];
      text += end;
    }
    text += end;
  }
  return text;
}

void write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: korvidan_corpus tree|big|tiny DIR BYTES\n");
    return 2;
  }
  const std::string shape = argv[1];
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
            text_of(size, i % 2 == 1, i % 3 == 0, false, random));
    }
  } else if (shape == "big" || shape == "tiny") {
    write(folder / (shape + ".txt"), text_of(bytes, false, true, shape == "tiny", random));
  } else {
    std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
    return 2;
  }
  return 0;
}
