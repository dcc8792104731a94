#include "patterns/ui/PatternCheckListModel.h"

namespace vask {

int PatternCheckListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.Lines().size());
}

QVariant PatternCheckListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const CheckLine& line = list_.Lines()[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size()));
        case Qt::CheckStateRole:
            return line.tick == 0 ? Qt::Unchecked : line.tick == 1 ? Qt::Checked : Qt::PartiallyChecked;
        default:
            return {};
    }
}

Qt::ItemFlags PatternCheckListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= rowCount()) return Qt::NoItemFlags;
    if (!list_.Lines()[static_cast<std::size_t>(index.row())].enabled) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

bool PatternCheckListModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= rowCount()) return false;
    list_.ToggleByUser(static_cast<std::size_t>(index.row()));
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

void PatternCheckListModel::Reset() {
    beginResetModel();
    endResetModel();
}

void PatternCheckListModel::TicksChanged() {
    if (rowCount() == 0) return;
    emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

}  // namespace vask
