// The pattern list file: "VaskFile.Txt" in the current folder (the user's list) and its default
// "VaskFile._xt" (shipped with Vask), how their lines are read, and how the list is written back.
//
// A file is read in pieces, as a line-by-line reader with a 260-byte buffer takes it: up to and not
// including LF, at most 259 bytes per read with the LF counted among them, a CR directly before the LF
// dropped. A longer line gives several pieces (each ending on a character boundary); a line of exactly 259
// bytes is followed by one empty piece; reading ends with the read that meets the end of the file, so a
// file that ends with a line break (and an empty file) gives one last empty piece. A piece ends at its
// first NUL byte. A file that is valid UTF-8 is read as UTF-8; any other is a list brought from Windows,
// cut by the CP932 rules and decoded to UTF-8. A leading UTF-8 byte-order mark is no part of the text.
//
// Files are opened by bare name in the current folder through the file-system port; Vask writes UTF-8 with
// CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Status.h"
#include "platform/TextDecoder.h"
#include "settings/CodePage.h"

namespace vask {

inline constexpr const char* kPatternListName = "VaskFile.Txt";
inline constexpr const char* kDefaultPatternListName = "VaskFile._xt";
// Bytes one read takes at most, its LF included.
inline constexpr std::size_t kListReadBytes = 259;
// A list file larger than this is not read (EFBIG): a list is a few kilobytes, and a huge file put in its
// place must not exhaust memory.
inline constexpr std::uint64_t kMaxPatternListBytes = 32u * 1024u * 1024u;

// The pieces of a file's bytes, as above, in the given code page (no decoding).
std::vector<std::string> SplitListPieces(std::string_view bytes, CodePage codePage);

// The text without its trailing single-byte white space (space, tab, CR, LF, vertical tab, form feed).
// Characters are stepped over whole, so the second byte of a double-byte character is never taken for
// white space, and the full-width space is kept. Leading white space is kept.
std::string_view TrimTrailingWhiteSpace(CodePage codePage, std::string_view text);

enum class ListLineKind { Blank, Comment, Separator, Header, Pattern };
// The kind of a trimmed line by its first byte: empty, "'", "-", "<", anything else.
ListLineKind ClassifyListLine(std::string_view trimmed);

// The lines of a list file as UTF-8: its pieces, trimmed when trim is set, decoded from CP932 when the
// bytes are not valid UTF-8.
std::vector<std::string> DecodeListLines(std::string_view bytes, Cp932Decoder& decoder, bool trim);

// Reads a list file of folder. Fails as OpenForReading does (ENOENT, ELOOP for a link, EISDIR, EINVAL for a
// FIFO or device) and with EFBIG above kMaxPatternListBytes; a read error ends the reading with the error.
Result<std::string> ReadListFile(Directory& folder, const std::string& name);

// The default list: "VaskFile._xt" from the current folder, else from each of dataFolders (absolute paths)
// in turn; the first one that reads wins. ENOENT (path "VaskFile._xt") when none does.
Result<std::string> ReadDefaultPatternList(FileSystem& fileSystem,
                                           const std::vector<std::string>& dataFolders);

enum class ListWrite {
    KeepExisting,     // fails with EEXIST when "VaskFile.Txt" exists, which stays as it was
    ReplaceExisting,  // puts the new file in place of the old one
};

// Writes bytes as "VaskFile.Txt" in the current folder without ever leaving a half-written list: the bytes
// go to a temporary file beside it (".VaskFile.Txt.vask-XXXXXXXX", created exclusively with the old file's
// permission bits, else 0600), which is flushed to the disk and renamed over the list (a link in its place
// is replaced, never followed). On any failure the temporary file is removed and the old list is unchanged.
// Temporary files left by a run that was killed are removed first.
Status WritePatternListFile(FileSystem& fileSystem, std::string_view bytes, ListWrite how);

}  // namespace vask
