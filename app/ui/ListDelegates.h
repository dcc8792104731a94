// Item delegates of the main window's two lists.
#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

#include "app/core/MainView.h"

namespace vask {

// Item data roles of the drive list (control 1002).
namespace drive_role {
inline constexpr int kLine = Qt::UserRole + 1;        // QByteArray: the drive line, byte for byte
inline constexpr int kMountPoint = Qt::UserRole + 2;  // QByteArray: the mount point, ending in "/"
inline constexpr int kType = Qt::UserRole + 3;        // int: DriveType
}  // namespace drive_role

// The icon shown for a drive type: the desktop theme's icon when it has one, else Vask's own.
QIcon DriveTypeIcon(DriveType type);

// Drive list rows: 18 pixels high (more only if the font needs it), the check box, the volume icon, then the
// visible part of the drive line: without its leading blanks (they only made room for the icon) and without
// the identity at its end. Rows are drawn without focus frame, hover or selection highlight.
class DriveItemDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The text shown for a drive line.
    static QString VisibleText(const QByteArray& line);

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Result list rows: 12 pixels high, or the height of the font and the check box where 12 would clip them. The
// width hint is nominal so that one long path cannot widen the list's contents.
class CompactRowDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace vask
