#include "disposal/FileOperationTexts.h"

#include <cerrno>

#include "disposal/ShownPath.h"

namespace vask::file_operation_text {

namespace {

// Names and folders in messages go through ShownPath: a control byte in a name must neither break the
// message nor reach a terminal (the standard-error variant) as a command.
std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return ShownPath(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The folder as Vask's messages show it: without the trailing separator, except for the root itself.
std::string FolderForText(std::string folder) {
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return ShownPath(folder);
}

const char* ReasonByErrno(int code) {
    switch (code) {
        case ENOSPC:
            return "ﾃﾞｨｽｸの空き領域が不足しています。";
        case EACCES:
        case EPERM:
            return "ｱｸｾｽが拒否されました。";
        case EROFS:
            return "読み取り専用のﾃﾞｨｽｸです。";
        case EXDEV:
            return "別のﾃﾞｨｽｸへは移せません。";
        case ENOENT:
            return "ﾌｧｲﾙまたはﾌｫﾙﾀﾞが見つかりません。";
        case EIO:
            return "ﾃﾞｨｽｸの読み書き中にｴﾗｰが発生しました。";
        case ENOSYS:
            return "この操作はｻﾎﾟｰﾄされていません。";
        case EEXIST:
            return "同じ名前のﾌｧｲﾙがあります。";
        case ENAMETOOLONG:
            return "ﾌｧｲﾙ名が長すぎます。";
        // Beyond these the system's own text is shown, which is English in most locales: the failures a
        // disposal meets in practice (a home under quota, a big file moved to a FAT stick, a mount point)
        // get Vask's words.
        case EDQUOT:
            return "ﾃﾞｨｽｸの使用量が上限を超えています。";
        case EFBIG:
            return "ﾌｧｲﾙが大きすぎて置けません。";
        case EBUSY:
            return "ﾌｧｲﾙまたはﾌｫﾙﾀﾞが使用中です。";
        // Folders are opened without following links: a folder swapped for a link (or a file) ends here.
        case ENOTDIR:
        case ELOOP:
            return "ﾌｫﾙﾀﾞではありません (ﾘﾝｸまたはﾌｧｲﾙです)。";
        default:
            return nullptr;
    }
}

}  // namespace

std::string ConfirmCaption(const std::vector<FileOperationItem>& items) {
    return items.size() == 1 ? "ﾌｧｲﾙの削除の確認" : "複数のﾌｧｲﾙ削除の確認";
}

std::string ConfirmText(FileOperationKind kind, const std::vector<FileOperationItem>& items) {
    const char* action = kind == FileOperationKind::Trash    ? "をごみ箱に移して"
                         : kind == FileOperationKind::Delete ? "を完全に削除して"
                                                             : "を移動して";
    const std::string subject = items.size() == 1 ? "'" + NameOf(items.front().path) + "' "
                                                  : "これらの " + std::to_string(items.size()) + " 個のﾌｧｲﾙ";
    return subject + action + "もよろしいですか?";
}

std::string CreateFolderText(const std::string& folder) {
    return "ﾌｫﾙﾀﾞ " + FolderForText(folder) + " は存在しません。\n作成しますか?";
}

std::string CreateFolderFailedText(const std::string& folder) {
    return "ﾌｫﾙﾀﾞ " + FolderForText(folder) + " が作成できません。";
}

std::string ReplaceCaption() {
    return "ﾌｧｲﾙの置き換えの確認";
}

std::string ReplaceText(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    return FolderForText(folder) + " には同じ名前のﾌｧｲﾙがあります。\n置き換えますか?";
}

std::string ReplaceDetail(const std::string& target) {
    return "'" + NameOf(target) + "'";
}

std::string ProgressTitle(FileOperationKind kind) {
    switch (kind) {
        case FileOperationKind::Trash:
            return "ﾌｧｲﾙをごみ箱に移しています";
        case FileOperationKind::Move:
            return "ﾌｧｲﾙを移動しています";
        default:
            return "ﾌｧｲﾙを削除しています";
    }
}

std::string ProgressCount(std::size_t done, std::size_t total) {
    return std::to_string(done) + " / " + std::to_string(total);
}

std::string ReportTitle(FileOperationKind kind) {
    return kind == FileOperationKind::Move ? "ﾌｧｲﾙ移動ｴﾗｰ" : "ﾌｧｲﾙ削除ｴﾗｰ";
}

std::string ReportHeading() {
    return "次のﾌｧｲﾙは処理できませんでした。";
}

std::string ReportPathHeader() {
    return "ﾌｧｲﾙ";
}

std::string ReportReasonHeader() {
    return "理由";
}

std::string FailurePath(const FileOperationFailure& failure) {
    return ShownPath(failure.path.empty() ? failure.status.path() : failure.path);
}

std::string FailureReason(const FileOperationFailure& failure) {
    if (failure.changedSinceSearch) return "検索後に変更されたため処理しませんでした。";
    const char* known = ReasonByErrno(failure.status.code());
    std::string reason = known != nullptr ? known : failure.status.ErrorText();
    const std::string& concerned = failure.status.path();
    if (!failure.path.empty() && !concerned.empty() && concerned != failure.path) {
        reason += " (" + ShownPath(concerned) + ")";
    }
    return reason;
}

std::string YesToAllLabel() {
    return "すべて置き換え(&A)";
}

}  // namespace vask::file_operation_text
