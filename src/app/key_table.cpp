#include "app/key_table.h"

#include <array>

namespace app {

namespace {

constexpr std::array kModel = {
    KeyRow{"テンキー 1 / 9", "モデルを奥へ / 手前へ", "model away / nearer"},
    KeyRow{"テンキー 7 / 3", "モデルを右へ / 左へ", "model right / left"},
    KeyRow{"PageUp / PageDown", "モデルを上へ / 下へ", "model up / down"},
    KeyRow{"テンキー / / *", "モデルを縦の軸で回す", "turn the model about its upright axis"},
    KeyRow{"左 Shift / 右 Shift", "モデルを奥行きの軸で回す", "turn the model about the depth axis"},
    KeyRow{"左 Ctrl / 右 Ctrl", "モデルを横の軸で回す", "turn the model about the side axis"},
};
constexpr std::array kCamera = {
    KeyRow{"テンキー 8 / 2", "視点を前へ / 後ろへ", "viewpoint forward / back"},
    KeyRow{"テンキー 6 / 4", "視点を右へ / 左へ", "viewpoint right / left"},
    KeyRow{"← / →", "向きを左へ / 右へ", "turn the view left / right"},
    KeyRow{"↑ / ↓", "見る高さを上へ / 下へ", "look higher / lower"},
};
constexpr std::array kOverlay = {
    KeyRow{"A / D", "フィルターを左へ / 右へ", "overlay left / right"},
    KeyRow{"W / S", "フィルターを上へ / 下へ", "overlay up / down"},
    KeyRow{"Q / E", "フィルターの幅を狭く / 広く", "overlay narrower / wider"},
    KeyRow{"Z / C", "フィルターの高さを低く / 高く", "overlay lower / taller"},
};
constexpr std::array kColour = {
    KeyRow{"1 / 2", "フィルターの赤を減らす / 増やす", "overlay red less / more"},
    KeyRow{"3 / 4", "フィルターの緑を減らす / 増やす", "overlay green less / more"},
    KeyRow{"5 / 6", "フィルターの青を減らす / 増やす", "overlay blue less / more"},
    KeyRow{"7 / U", "フィルターの不透明さを減らす / 増やす", "overlay opacity less / more"},
    KeyRow{"8 / I", "環境光の赤を減らす / 増やす", "ambient light red less / more"},
    KeyRow{"9 / O", "環境光の緑を減らす / 増やす", "ambient light green less / more"},
    KeyRow{"0 / P", "環境光の青を減らす / 増やす", "ambient light blue less / more"},
};
constexpr std::array kSaving = {
    KeyRow{"テンキー 5", "枠の穴に見える画面をモデルのテクスチャにする", "the screen in the frame's hole becomes the texture"},
    KeyRow{"Enter, キャプチャ", "フィルターの下を番号付きで保存（一回）", "save the view under the overlay, numbered (once)"},
    KeyRow{"テンキー -", "押している間、フィルターの下を毎フレーム保存", "while held, save the view under the overlay every frame"},
    KeyRow{"写", "枠の穴に見える画面を番号付きで保存（一回）", "save the screen in the frame's hole, numbered (once)"},
    KeyRow{"テンキー +", "押している間、枠の穴を毎フレーム保存", "while held, save the frame's hole every frame"},
};
constexpr std::array kUndo = {
    KeyRow{"F9", "最後の保存を取り消す（もう一度で、その前も）", "take the last save back (again: the one before)"},
};
constexpr std::array kOther = {
    KeyRow{"F1", "このキー一覧を開く / 閉じる", "open / close this list of keys"},
    KeyRow{"Esc, 終了", "nukitori を終了する", "quit nukitori"},
};

constexpr std::array kGroups = {
    KeyGroup{"モデル", "Model", kModel},
    KeyGroup{"視点", "Camera", kCamera},
    KeyGroup{"フィルター", "Overlay", kOverlay},
    KeyGroup{"色と光", "Colour and light", kColour},
    KeyGroup{"保存", "Saving", kSaving},
    KeyGroup{"取り消し", "Undo", kUndo},
    KeyGroup{"その他", "Other", kOther},
};

}  // namespace

std::span<const KeyGroup> keyGroups() {
    return kGroups;
}

std::string keyTableText() {
    std::string text;
    for (const KeyGroup& group : kGroups) {
        text += std::string(group.japanese) + " (" + std::string(group.english) + ")\n";
        for (const KeyRow& row : group.rows) {
            text += "  " + std::string(row.keys) + "  " + std::string(row.japanese) + " — " +
                    std::string(row.english) + "\n";
        }
    }
    text +=
        "\n"
        "保存先: 作業フォルダの「抜き取り画像保存フォルダ」に番号付きの BMP と記録 nukitori-samples.jsonl。"
        "取り込んだテクスチャは作業フォルダの「フィルター.bmp」。\n"
        "Files: numbered BMP files and their record nukitori-samples.jsonl go into 抜き取り画像保存フォルダ in\n"
        "the working folder; the grabbed texture is フィルター.bmp there.\n"
        "「テンキー」のキーは数字キーの並びではなく、テンキーのキーです（Windows では NumLock をオンに）。\n"
        "Keys marked テンキー are on the numeric keypad, not the digit row (on Windows, with NumLock on).\n";
    return text;
}

}  // namespace app
