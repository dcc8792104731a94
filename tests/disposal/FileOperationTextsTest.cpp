#include "disposal/FileOperationTexts.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace vask {
namespace {

namespace text = file_operation_text;

FileOperationFailure Failure(const std::string& path, int code, const std::string& concerned,
                             bool changed = false) {
    return FileOperationFailure{path, Status::Error(code, concerned, "op"), changed};
}

std::vector<FileOperationItem> Items(std::initializer_list<const char*> paths) {
    std::vector<FileOperationItem> items;
    for (const char* path : paths)
        items.push_back(FileOperationItem{path, 1, {}});
    return items;
}

TEST(FileOperationTextsTest, EachTextAsShown) {
    const FileOperationFailure flush = Failure("", EIO, "/home/u/.local/share/Trash/files/");
    const struct {
        const char* what;
        std::string shown;
        std::string expected;
    } rows[] = {
        {"changed wins over its errno", text::FailureReason(Failure("/a", Status::kChanged, "/a", true)),
         "検索後に変更されたため処理しませんでした。"},
        {"a reason of ours", text::FailureReason(Failure("/a", EPERM, "/a")), "ｱｸｾｽが拒否されました。"},
        {"no reason of ours: the system's, never empty", text::FailureReason(Failure("/a", EOVERFLOW, "/a")),
         Status::Error(EOVERFLOW, "", "").ErrorText()},
        {"a quota is not the system's English", text::FailureReason(Failure("/a", EDQUOT, "/a")),
         "ﾃﾞｨｽｸの使用量が上限を超えています。"},
        {"too big for the target (a FAT stick)", text::FailureReason(Failure("/a", EFBIG, "/a")),
         "ﾌｧｲﾙが大きすぎて置けません。"},
        {"busy", text::FailureReason(Failure("/a", EBUSY, "/a")), "ﾌｧｲﾙまたはﾌｫﾙﾀﾞが使用中です。"},
        {"a folder swapped for a file", text::FailureReason(Failure("/a/", ENOTDIR, "/a/")),
         "ﾌｫﾙﾀﾞではありません (ﾘﾝｸまたはﾌｧｲﾙです)。"},
        {"a folder swapped for a link", text::FailureReason(Failure("/a/", ELOOP, "/a/")),
         "ﾌｫﾙﾀﾞではありません (ﾘﾝｸまたはﾌｧｲﾙです)。"},
        {"another path concerned is named", text::FailureReason(Failure("/a", EROFS, "/mnt/backup/")),
         "読み取り専用のﾃﾞｨｽｸです。 (/mnt/backup/)"},
        {"the trash flush names the trash folder", text::FailurePath(flush),
         "/home/u/.local/share/Trash/files/"},
        {"the trash flush's reason", text::FailureReason(flush), "ﾃﾞｨｽｸの読み書き中にｴﾗｰが発生しました。"},
        {"a line break stays one row", text::FailurePath(Failure("/a/x\ny", EIO, "/a/x\ny")), "/a/x\\ny"},
        {"every control byte escaped", text::FailurePath(Failure("/a/x\ty\x1b", EIO, "/a/x\ty\x1b")),
         "/a/x\\ty\\x1b"},
        {"create question", text::CreateFolderText("/m\x1b[2J/"),
         "ﾌｫﾙﾀﾞ /m\\x1b[2J は存在しません。\n作成しますか?"},
        {"create question for the root", text::CreateFolderText("/"),
         "ﾌｫﾙﾀﾞ / は存在しません。\n作成しますか?"},
        {"create failure", text::CreateFolderFailedText("/root-only/lzh/"),
         "ﾌｫﾙﾀﾞ /root-only/lzh が作成できません。"},
        {"replace question", text::ReplaceText("/d\r/f"),
         "/d\\r には同じ名前のﾌｧｲﾙがあります。\n置き換えますか?"},
        {"replace detail", text::ReplaceDetail("/d/f\x07"), "'f\\a'"},
        {"one file to delete", text::ConfirmText(FileOperationKind::Delete, Items({"/h/メモ\n.txt"})),
         "'メモ\\n.txt' を完全に削除してもよろしいですか?"},
        {"its caption", text::ConfirmCaption(Items({"/h/a"})), "ﾌｧｲﾙの削除の確認"},
        {"files to trash", text::ConfirmText(FileOperationKind::Trash, Items({"/a", "/b", "/c"})),
         "これらの 3 個のﾌｧｲﾙをごみ箱に移してもよろしいですか?"},
        {"their caption", text::ConfirmCaption(Items({"/a", "/b"})), "複数のﾌｧｲﾙ削除の確認"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.shown, row.expected) << row.what;
}

}  // namespace
}  // namespace vask
