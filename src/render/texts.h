#pragma once
// Every text the viewer draws, each once, in UTF-8. "　" is U+3000, the ideographic space.
#include <cstdint>
#include <string>

namespace render::texts {

inline constexpr const char* kHelpKeys =
    "使用キー\n"
    "ESCキー 　　　　終了\n"
    "テンキー　　　　2,4,6,8  1,3,7,9 \n"
    "PageUp,PageDown　(移動)\n"
    "テンキー　+(連写）\n"
    "テンキー　-(連キャプチャ）\n"
    "　　　テンキー  *,/   Shift 左右　Ctrl 左右   (物体回転)\n"
    "　　　←,↑,→,↓  (視点変化)";

inline constexpr const char* kHelpFilter =
    "\n"
    "A S D W  (フィルタ移動)\n"
    "Q E Z C  (フィルタ拡大縮小)\n"
    "Enter     (キャプチャ)";

inline constexpr const char* kKeyLegend =
    "キーボード:　1 2　　　　3 4　　　　5 6　　　　　　　　　　　　　　　　　　7 U 　 　　8 I 　 9 O　  0 P";

inline constexpr std::uint32_t kTextColour = 0xFFC8C8C8;

// "　　　　　[赤 %d]　[緑 %d]　[青 %d]　　　　　　　　　　　　　　 [透明 %d]　　%d 　 %d 　 %d"
std::string values(int red, int green, int blue, int alpha, int ambientRed, int ambientGreen,
                   int ambientBlue);
// "%s%d で保存しました"
std::string saved(const std::string& prefix, int number);
// "%s%d の保存に失敗しました": shown instead when the file could not be written.
std::string saveFailed(const std::string& prefix, int number);
// The problem line: what went wrong with the last load, for a user who sees no terminal.
// "モデル %s を読み込めません: %s": the model shown stays.
std::string modelNotLoaded(const std::string& file, const std::string& reason);
// "テクスチャ %s を読み込めません"
std::string textureNotLoaded(const std::string& file);
// "作業フォルダに見本のファイルがありません: %s"
std::string sampleFilesMissing(const std::string& files);
// "枠 %s を読み込めないので、枠は四角です" and "枠 %s の形は複雑すぎるので、枠は四角です"
std::string outlineNotRead(const std::string& file);
std::string outlineTooComplex(const std::string& file);
inline constexpr std::uint32_t kProblemColour = 0xFFFFD75A;
// Where the problem line stands while a grab or capture waits for the desktop's question.
inline constexpr const char* kAskingForScreen = "画面の共有を確認しています…";

// "%s を取り消しました": shown instead when F9 took the file back.
std::string undone(const std::string& file);
// "%s は保存の後に変わったか消されたので、取り消しませんでした"
std::string undoRefused(const std::string& file);

}  // namespace render::texts
