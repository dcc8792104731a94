// What the settings store needs of the main dialog: the contents of the pattern box (1015), the drive list
// (1002), the last-modified check box (1066) and the day edit (1067). The dialog-state values live only in
// these controls and in the profile, so the store reads and fills them through this interface. The main
// window implements it over its widgets; tests use platform/fakes/MemoryDialogState.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vask {

// True when both texts are equal apart from the case of the ASCII letters A-Z / a-z; every other byte must
// match exactly. This is the pattern box's exact-match search: it folds nothing beyond ASCII, so two
// texts with different non-ASCII letters never match.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Indexes are 0-based. Texts are UTF-8 byte strings, passed as they are (nothing trimmed). An index outside
// 0 .. count-1 is a caller error; the store never passes one.
class DialogStateHolder {
  public:
    virtual ~DialogStateHolder() = default;

    // Pattern box 1015: the edit text and the ordered drop-down list.
    virtual std::string PatternText() const = 0;
    virtual void SetPatternText(const std::string& text) = 0;
    virtual void ClearPatternList() = 0;
    // Inserts before the item at index (index == count appends).
    virtual void InsertPatternItem(int index, const std::string& text) = 0;
    virtual int PatternItemCount() const = 0;
    virtual std::string PatternItemText(int index) const = 0;
    // Index of the first list item whose whole text equals text by EqualsIgnoringAsciiCase, or -1. The
    // default walks the list; a widget-based holder must not substitute a search that folds more than ASCII.
    virtual int FindPatternItem(const std::string& text) const {
        const int count = PatternItemCount();
        for (int i = 0; i < count; ++i) {
            if (EqualsIgnoringAsciiCase(PatternItemText(i), text)) return i;
        }
        return -1;
    }

    // Drive list 1002: one item per drive line; check state 0 (unticked), 1 (ticked) or 2 (indeterminate).
    virtual int DriveItemCount() const = 0;
    virtual std::string DriveItemText(int index) const = 0;
    virtual int DriveCheckState(int index) const = 0;
    virtual void SetDriveCheckState(int index, int state) = 0;

    // Check box 1066 "last-modified date check": its tick state (0 or 1 as set; the store passes the stored
    // integer through unchanged).
    virtual int LastDateCheck() const = 0;
    virtual void SetLastDateCheck(int state) = 0;

    // Edit 1067: the day count as the user typed it.
    virtual std::string LastDateText() const = 0;
    virtual void SetLastDateText(const std::string& text) = 0;
};

}  // namespace vask
