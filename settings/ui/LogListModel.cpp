#include "settings/ui/LogListModel.h"

#include <QFontMetrics>

namespace vask {

namespace {

QString ItemText(const LogLines& lines, std::size_t index) {
    const std::string item = lines.Item(index);
    return QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size()));
}

}  // namespace

void LogListModel::SetLines(std::shared_ptr<const LogLines> lines, const QFont& font) {
    beginResetModel();
    lines_ = std::move(lines);
    // Measuring every row would read the whole log once more; the row with the most bytes is as wide as
    // any in practice, and a margin covers wide characters in a shorter one.
    const QFontMetrics metrics(font);
    int width = 0;
    if (lines_ && lines_->Count() > 0) {
        width = metrics.horizontalAdvance(ItemText(*lines_, lines_->LongestItem()));
        width += width / 8 + metrics.averageCharWidth() * 2;
    }
    rowSize_ = QSize(width, metrics.height() + 2);
    endResetModel();
}

int LogListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !lines_) return 0;
    return static_cast<int>(lines_->Count());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (!lines_ || !index.isValid() || static_cast<std::size_t>(index.row()) >= lines_->Count()) {
        return QVariant();
    }
    if (role == Qt::DisplayRole) return ItemText(*lines_, static_cast<std::size_t>(index.row()));
    if (role == Qt::SizeHintRole) return rowSize_;
    return QVariant();
}

Qt::ItemFlags LogListModel::flags(const QModelIndex& index) const {
    // Items are shown, never selected nor edited.
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

}  // namespace vask
