// The texts of the undo: its button on the options sheet's log page, the question naming a run, the list
// of older runs, the progress window, and the text for a run whose journal cannot be read (also the
// report's, UndoResultText). UTF-8, Vask's wording. The Yes, No and OK buttons carry the labels every box
// shares (PromptButtonLabel in platform/Prompter.h).
#pragma once

#include <string>

namespace vask::undo_text {

inline constexpr const char* kCaption = "元に戻す";
inline constexpr const char* kButtonLabel = "元に戻す(&Z)";
inline constexpr const char* kOlderRunsLabel = "以前の処理(&O)...";
inline constexpr const char* kPickRunText = "元に戻す処理を選んでください:";
inline constexpr const char* kProgressText = "ﾌｧｲﾙを元に戻しています...";
inline constexpr const char* kProgressCancelLabel = "ｷｬﾝｾﾙ";  // half-width here, unlike the boxes' button
inline constexpr const char* kUnusableRunText = "この処理の記録は壊れているため、元に戻せません。";

// "%s の処理を元に戻しますか?" with the run's label (RunLabel).
inline std::string UndoQuestion(const std::string& runLabel) {
    return runLabel + " の処理を元に戻しますか?";
}

}  // namespace vask::undo_text
