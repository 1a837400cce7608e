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

std::string undone(const std::string& file) {
    return file + " を取り消しました";
}

std::string undoRefused(const std::string& file) {
    return file + " は保存の後に変わったか消されたので、取り消しませんでした";
}

}  // namespace render::texts
