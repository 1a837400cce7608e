#pragma once
// The files nukitori reads and writes in its working folder, by their UTF-8 names relative to
// it: one place for each name, and the sample files a new working folder gets.
#include <array>
#include <string_view>

namespace base {

inline constexpr std::string_view kModelFile = "model.x";                      // read at start-up
inline constexpr std::string_view kOutlineFile = "枠.bmp";                     // the capture frame's outline
inline constexpr std::string_view kOverlayPictureFile = "フィルター画像.jpg";  // the overlay's texture
inline constexpr std::string_view kGrabTextureFile = "フィルター.bmp";         // every grab writes it
inline constexpr std::string_view kSaveFolder = "抜き取り画像保存フォルダ";    // the numbered files
// In the save folder: one JSON line for each numbered file saved there, and one for each save
// taken back; nukitori-samples reads it.
inline constexpr std::string_view kSampleRecordFile = "nukitori-samples.jsonl";

inline constexpr std::array<std::string_view, 4> kSampleFiles = {kModelFile, kOutlineFile,
                                                                 kOverlayPictureFile, kGrabTextureFile};

}  // namespace base
