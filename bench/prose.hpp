// Deterministic Japanese prose for the benchmarks: paragraphs of two to seven lines of one
// to four sentences, separated by an empty line, or one-line passages. Every other sentence
// is technical prose drawn from a vocabulary of katakana loanwords, kanji compounds and
// mixed terms, with frequencies falling off as in real text, so that keyword lists can be
// drawn from the corpus's own words (`keyword_list`).
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
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

// Sentence frames of technical prose; each "%" takes a term.
inline const std::vector<std::string> frames = {
    "本章では%の%について述べる。",  "%は%と%を組み合わせた%である。",
    "%を用いた%の評価を行った。",    "この%では、%（%）の設定が必要になる。",
    "%の%が%に与える影響は小さい。", "次に、%から%へ%を移す手順を示す。"};

// About 16,000 distinct terms, the most frequent first.
inline const std::vector<std::string>& vocabulary() {
  static const std::vector<std::string> terms = [] {
    const std::vector<std::string> kana = {
        "ア",   "イ",   "ウ",   "エ",   "オ",   "カ",   "キ",   "ク",   "ケ",   "コ",   "サ",
        "シ",   "ス",   "セ",   "ソ",   "タ",   "チ",   "ツ",   "テ",   "ト",   "ナ",   "ニ",
        "ヌ",   "ネ",   "ノ",   "ハ",   "ヒ",   "フ",   "ヘ",   "ホ",   "マ",   "ミ",   "ム",
        "メ",   "モ",   "ヤ",   "ユ",   "ヨ",   "ラ",   "リ",   "ル",   "レ",   "ロ",   "ワ",
        "ン",   "ガ",   "ギ",   "グ",   "ゲ",   "ゴ",   "ザ",   "ジ",   "ズ",   "ゼ",   "ゾ",
        "ダ",   "デ",   "ド",   "バ",   "ビ",   "ブ",   "ベ",   "ボ",   "パ",   "ピ",   "プ",
        "ペ",   "ポ",   "ヴ",   "ティ", "ディ", "ファ", "フィ", "フォ", "シャ", "シュ", "ショ",
        "ジャ", "ジュ", "チェ", "ッ"};
    const std::string kanji =
        "情報処理装置方法制御信号回路電源基板接続端子設定管理分析評価試験測定検出変換記憶"
        "通信網構成要素機能動作状態条件範囲対象結果原因解析計算数値形式規格標準仕様設計開発"
        "製造工程品質保証運用保守障害復旧監視警告表示入力出力画面操作利用者権限認証暗号鍵"
        "署名証明書類契約手続申請審査承認登録更新削除検索抽出集計統計予測模型学習推論精度";
    std::vector<std::string> kanji_chars;
    for (std::size_t i = 0; i < kanji.size(); i += 3) kanji_chars.push_back(kanji.substr(i, 3));
    std::mt19937 random(1209);
    std::set<std::string> seen;
    std::vector<std::string> out;
    const auto add = [&](std::string term) {
      if (seen.insert(term).second) out.push_back(std::move(term));
    };
    const auto katakana_word = [&] {
      std::string word;
      const int morae = 2 + static_cast<int>(random() % 5);
      for (int m = 0; m < morae; ++m) {
        word += kana[random() % kana.size()];
        if (random() % 4 == 0) word += "ー";
      }
      return word;
    };
    const auto kanji_compound = [&] {
      std::string word;
      const int count = 2 + static_cast<int>(random() % 3);
      for (int c = 0; c < count; ++c) word += kanji_chars[random() % kanji_chars.size()];
      return word;
    };
    while (out.size() < 16000) {
      switch (random() % 8) {
        case 0:
        case 1:
        case 2:
          add(katakana_word());
          break;
        case 3:
        case 4:
        case 5:
          add(kanji_compound());
          break;
        default:
          add(katakana_word() + kanji_compound());
          break;
      }
    }
    return out;
  }();
  return terms;
}

// A term drawn with a frequency falling off as 1 / (rank + 20).
inline const std::string& random_term(std::mt19937& random) {
  static const std::vector<double> cumulative = [] {
    std::vector<double> sums;
    double sum = 0;
    for (std::size_t rank = 0; rank < vocabulary().size(); ++rank) {
      sum += 1.0 / static_cast<double>(rank + 20);
      sums.push_back(sum);
    }
    return sums;
  }();
  const double at = std::uniform_real_distribution<double>(0, cumulative.back())(random);
  const auto found = std::upper_bound(cumulative.begin(), cumulative.end(), at);
  return vocabulary()[static_cast<std::size_t>(std::min<std::ptrdiff_t>(
      found - cumulative.begin(), static_cast<std::ptrdiff_t>(vocabulary().size()) - 1))];
}

inline std::string random_sentence(std::mt19937& random) {
  if (random() % 2 == 0) return sentences[random() % sentences.size()];
  std::string sentence;
  for (const char c : frames[random() % frames.size()]) {
    if (c == '%') {
      sentence += random_term(random);
    } else {
      sentence += c;
    }
  }
  return sentence;
}

inline std::string generate_prose(std::size_t bytes, bool crlf, bool bom, bool one_line_passages,
                                  std::mt19937& random) {
  const std::string end = crlf ? "\r\n" : "\n";
  std::string text = bom ? "\xEF\xBB\xBF" : "";
  text.reserve(bytes + 1024);
  while (text.size() < bytes) {
    const int lines = one_line_passages ? 1 : 2 + static_cast<int>(random() % 6);
    for (int line = 0; line < lines; ++line) {
      const int count = one_line_passages ? 1 : 1 + static_cast<int>(random() % 4);
      for (int s = 0; s < count; ++s) text += random_sentence(random);
      text += end;
    }
    text += end;
  }
  return text;
}

// A condition text of `groups` groups of `per_group` distinct terms of the vocabulary, as a
// user's list would be: a tenth among the 1,000 most frequent terms, the rest anywhere (most
// of them rare in the text).
inline std::string keyword_list(std::size_t groups, std::size_t per_group, unsigned seed) {
  std::mt19937 random(seed);
  const std::size_t size = vocabulary().size();
  std::set<std::size_t> taken;
  std::string text;
  for (std::size_t group = 0; group < groups; ++group) {
    if (group > 0) text += "+++\n";
    for (std::size_t i = 0; i < per_group; ++i) {
      std::size_t rank = 0;
      do {
        rank = i % 10 == 0 ? random() % 1000 : random() % size;
      } while (!taken.insert(rank).second);
      text += vocabulary()[rank] + "\n";
    }
  }
  return text;
}

}  // namespace korvidan::bench
