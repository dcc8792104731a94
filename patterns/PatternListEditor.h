// The pattern list editor without widgets: "VaskFile.Txt" as one plain text, and its save. The Qt dialog
// (patterns/ui/PatternListEditDialog.h) shows Text() in its edit box and hands the box's text back on OK.
//
// The text holds every piece the list reader takes from the file (PatternListFile.h), untrimmed, each
// followed by CR LF, the last one included. Saving turns each CR LF of the text into a line break and writes
// every line break as CR LF, in UTF-8, nothing appended.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Prompter.h"
#include "platform/TextDecoder.h"

namespace vask {

inline constexpr const char* kEditorCaption = "削除ﾌｧｲﾙ入力ﾘｽﾄ編集";
inline constexpr int kEditorEditBox = 1061;
inline constexpr const char* kSaveQuestion = "保存してよろしいですか";
inline constexpr const char* kSaveFailedMessage =
    "VaskFile.Txt を保存できませんでした。元のﾌｧｲﾙはそのままです。";
inline constexpr const char* kUnreadableListMessage =
    "VaskFile.Txt を読み込めないため編集できません。ﾌｧｲﾙはそのままです。";

// The editor text of a file's bytes.
std::string EditorTextFromFile(std::string_view bytes, Cp932Decoder& decoder);
// The file bytes of an editor text: CR LF becomes LF (a lone CR stays), then every LF is written CR LF.
std::string FileBytesFromEditorText(std::string_view text);

class PatternListEditor {
  public:
    PatternListEditor(FileSystem& fileSystem, Prompter& prompter, Cp932Decoder& decoder)
        : fileSystem_(fileSystem), prompter_(prompter), decoder_(decoder) {}

    // Reads "VaskFile.Txt" into Text(). A missing file is created empty (an empty text when even that
    // fails, as in a read-only folder). A file that is there but cannot be read (no permission, a folder,
    // a FIFO or a link in its place, too large) is reported and false returned: the dialog then closes
    // without editing, since a save would put the user's empty text in place of a list nobody has seen.
    bool OnInitDialog();
    const std::string& Text() const { return text_; }

    // OK: when modified, asks "保存してよろしいですか"; Yes saves editText (a failed save keeps the old file,
    // is reported, and false is returned: the dialog stays open with the user's text). True: close with OK.
    bool OnOK(bool modified, std::string_view editText);

    // The tooltip of a control when tooltips are on, or "".
    static std::string TooltipText(int controlId, bool tooltipsOn);

  private:
    FileSystem& fileSystem_;
    Prompter& prompter_;
    Cp932Decoder& decoder_;
    std::string text_;
};

}  // namespace vask
