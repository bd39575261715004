// Deterministic Japanese prose for the benchmarks: paragraphs of two to seven lines of one
// to four sentences, separated by an empty line, or one-line passages.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace korvidan::bench {

inline const std::vector<std::string> sentences = {
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

inline std::string generate_prose(std::size_t bytes, bool crlf, bool bom, bool one_line_passages,
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

}  // namespace korvidan::bench
