#include "render/texts.h"

namespace render::texts {

std::string values(int red, int green, int blue, int alpha, int ambientRed, int ambientGreen,
                   int ambientBlue) {
    using std::to_string;
    return "　　　　　[赤 " + to_string(red) + "]　[緑 " + to_string(green) + "]　[青 " + to_string(blue) +
           "]　　　　　　　　　　　　　　 [透明 " + to_string(alpha) + "]　　" + to_string(ambientRed) +
           " 　 " + to_string(ambientGreen) + " 　 " + to_string(ambientBlue);
}

std::string saved(const std::string& prefix, int number) {
    return prefix + std::to_string(number) + " で保存しました";
}

std::string saveFailed(const std::string& prefix, int number) {
    return prefix + std::to_string(number) + " の保存に失敗しました";
}

std::string modelNotLoaded(const std::string& file, const std::string& reason) {
    return "モデル " + file + " を読み込めません: " + reason;
}

std::string textureNotLoaded(const std::string& file) {
    return "テクスチャ " + file + " を読み込めません";
}

std::string sampleFilesMissing(const std::string& files) {
    return "作業フォルダに見本のファイルがありません: " + files;
}

std::string outlineNotRead(const std::string& file) {
    return "枠 " + file + " を読み込めないので、枠は四角です";
}

std::string outlineTooComplex(const std::string& file) {
    return "枠 " + file + " の形は複雑すぎるので、枠は四角です";
}

std::string undone(const std::string& file) {
    return file + " を取り消しました";
}

std::string undoRefused(const std::string& file) {
    return file + " は保存の後に変わったか消されたので、取り消しませんでした";
}

}  // namespace render::texts
