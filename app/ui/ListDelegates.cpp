#include "app/ui/ListDelegates.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>

namespace vask {

namespace {

// The drive identity: serial number and type, 8 hexadecimal digits each.
constexpr qsizetype kIdentityLength = 16;

int CheckIndicatorHeight(const QStyleOptionViewItem& option) {
    const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
}

}  // namespace

QIcon DriveTypeIcon(DriveType type) {
    switch (type) {
        case kDriveRemovable:
            return QIcon::fromTheme(QStringLiteral("drive-removable-media"),
                                    QIcon(QStringLiteral(":/icons/drive-removable.svg")));
        case kDriveRemote:
            return QIcon::fromTheme(QStringLiteral("network-server"),
                                    QIcon(QStringLiteral(":/icons/drive-remote.svg")));
        case kDriveCdRom:
            return QIcon::fromTheme(QStringLiteral("media-optical"),
                                    QIcon(QStringLiteral(":/icons/drive-optical.svg")));
        case kDriveRamDisk:
            return QIcon(QStringLiteral(":/icons/drive-ram.svg"));
        default:
            return QIcon::fromTheme(QStringLiteral("drive-harddisk"),
                                    QIcon(QStringLiteral(":/icons/drive-harddisk.svg")));
    }
}

QString DriveItemDelegate::VisibleText(const QByteArray& line) {
    QByteArray visible = line;
    if (visible.size() >= kIdentityLength) visible.chop(kIdentityLength);
    return QString::fromUtf8(visible).trimmed();
}

void DriveItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // Drive items are ticked, never selected: no current-row frame, hover or selection highlight that would
    // make a row look selectable.
    option->state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_Selected);
    option->text = VisibleText(index.data(drive_role::kLine).toByteArray());
    option->icon = DriveTypeIcon(static_cast<DriveType>(index.data(drive_role::kType).toInt()));
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
}

QSize DriveItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QSize base = QStyledItemDelegate::sizeHint(option, index);
    const int height = std::max({18, option.fontMetrics.height() + 2, CheckIndicatorHeight(option) + 2});
    return {base.width(), height};
}

QSize CompactRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int height = std::max({12, option.fontMetrics.height(), CheckIndicatorHeight(option) + 1});
    return {1, height};
}

}  // namespace vask
