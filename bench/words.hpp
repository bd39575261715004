// Words for keyword lists that no vocabulary of the prose holds: kanji and katakana drawn
// at random, and dictionaries of them.
#pragma once

#include <random>
#include <set>
#include <string>
#include <vector>

namespace korvidan::bench {

inline std::vector<std::string> characters(const std::string& joined) {
  std::vector<std::string> split;
  for (std::size_t i = 0; i < joined.size(); i += 3) split.push_back(joined.substr(i, 3));
  return split;
}

inline const std::vector<std::string>& kanji() {
  static const std::vector<std::string> chars = characters(
      "情報処理装置方法制御信号回路電源基板接続端子設定管理分析評価試験測定検出変換記憶"
      "通信網構成要素機能動作状態条件範囲対象結果原因解析計算数値形式規格標準仕様設計開発"
      "製造工程品質保証運用保守障害復旧監視警告表示入力出力画面操作利用者権限認証暗号鍵"
      "署名証明書類契約手続申請審査承認登録更新削除検索抽出集計統計予測模型学習推論精度"
      "山川田中村木林森石原野島松井竹花鳥風月海空星光明日本東西南北上下大小高長新古金銀"
      "銅鉄水火土春夏秋冬朝昼夜道路橋港町市区県都府村里寺神社宮城門家屋店堂院館場所");
  return chars;
}

inline const std::vector<std::string>& katakana() {
  static const std::vector<std::string> chars = characters(
      "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン"
      "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポー");
  return chars;
}

inline std::string pick(const std::vector<std::string>& from, std::mt19937& random,
                        std::size_t count) {
  std::string word;
  for (std::size_t i = 0; i < count; ++i) word += from[random() % from.size()];
  return word;
}

// Distinct names from `make`, as many as asked.
template <class Make>
std::vector<std::string> distinct(std::size_t count, Make make) {
  std::set<std::string> seen;
  std::vector<std::string> out;
  while (out.size() < count) {
    std::string word = make();
    if (seen.insert(word).second) out.push_back(std::move(word));
  }
  return out;
}

// Distinct dictionary words of one to five characters: katakana, kanji compounds, kanji
// with kana.
inline std::vector<std::string> dictionary(std::size_t count, std::mt19937& random) {
  return distinct(count, [&] {
    switch (random() % 3) {
      case 0:
        return pick(katakana(), random, 2 + random() % 5);
      case 1:
        return pick(kanji(), random, 2 + random() % 3);
      default:
        return pick(kanji(), random, 1) + pick(katakana(), random, 1 + random() % 3);
    }
  });
}

}  // namespace korvidan::bench
