// The texts of the file operation's questions, progress and failure report: the Qt dialogs, the
// standard-error variant and the delete command all take them from here, so each says the same thing.
// UTF-8, Vask's wording (half-width katakana kept half-width). The Yes, No, Cancel and OK buttons carry
// the labels every box shares (PromptButtonLabel in platform/Prompter.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"

namespace vask::file_operation_text {

// The confirmation before trashing or deleting: "ﾌｧｲﾙの削除の確認" naming the one file by its name, or
// "複数のﾌｧｲﾙ削除の確認" with the number of items.
std::string ConfirmCaption(const std::vector<FileOperationItem>& items);
std::string ConfirmText(FileOperationKind kind, const std::vector<FileOperationItem>& items);

// "ﾌｫﾙﾀﾞ %s は存在しません。\n作成しますか?" with the folder without its trailing "/" (the move folder,
// the archive folder).
std::string CreateFolderText(const std::string& folder);
// "ﾌｫﾙﾀﾞ %s が作成できません。", the folder shown the same way.
std::string CreateFolderFailedText(const std::string& folder);

// "%s には同じ名前のﾌｧｲﾙがあります。\n置き換えますか?" with the target's folder; the detail names the file.
std::string ReplaceCaption();
std::string ReplaceText(const std::string& target);
std::string ReplaceDetail(const std::string& target);

// The progress window's title by operation, and its "done / total" line.
std::string ProgressTitle(FileOperationKind kind);
std::string ProgressCount(std::size_t done, std::size_t total);

// The error report: title by operation, its heading, column headers.
std::string ReportTitle(FileOperationKind kind);
std::string ReportHeading();
std::string ReportPathHeader();
std::string ReportReasonHeader();

// The file a failure concerns: its item path, or the path of its status when the failure belongs to no
// item (the trash flushed at the end). Control bytes in a name are shown as escapes (ShownPath), so one
// failure stays one line. Names and folders in the other texts are shown the same way.
std::string FailurePath(const FileOperationFailure& failure);
// Why it failed, in Japanese: "検索後に変更されたため処理しませんでした。" for a file changed since the
// search, else a short text by errno (the system's errno text for a code without one), followed by the path
// the error concerned in parentheses when that is another path (the move folder, the trash folder).
std::string FailureReason(const FileOperationFailure& failure);

// The replace question's own button, beside Yes, No and Cancel.
std::string YesToAllLabel();

}  // namespace vask::file_operation_text
