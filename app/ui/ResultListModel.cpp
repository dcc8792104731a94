#include "app/ui/ResultListModel.h"

#include <climits>

namespace vask {

ResultListModel::ResultListModel(ResultList& results, QObject* parent)
    : QAbstractListModel(parent), results_(results), rows_(ListRows()) {}

int ResultListModel::ListRows() const {
    // Qt counts rows in int; a list beyond that shows its first INT_MAX rows.
    return results_.Size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(results_.Size());
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    // The list can be emptied by the core a moment before the views hear of it; such rows show nothing.
    if (!index.isValid() || index.row() >= rows_ ||
        static_cast<std::size_t>(index.row()) >= results_.Size()) {
        return {};
    }
    const SearchResultEntry& entry = results_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole: {
            const std::string_view path = entry.Path();
            return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
        }
        case Qt::CheckStateRole:
            if (entry.checkState == 0) return Qt::Unchecked;
            return entry.checkState == 1 ? Qt::Checked : Qt::PartiallyChecked;
        default:
            return {};
    }
}

bool ResultListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= rows_ ||
        static_cast<std::size_t>(index.row()) >= results_.Size()) {
        return false;
    }
    const bool ticked = value.toInt() == Qt::Checked;
    results_.SetCheckState(static_cast<std::size_t>(index.row()), ticked ? 1 : 0);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit CheckChanged(index.row());
    return true;
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

bool ResultListModel::Sync() {
    const int rows = ListRows();
    if (rows < rows_) {
        Reset();
        return false;
    }
    if (rows == rows_) return false;
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
    return true;
}

void ResultListModel::Reset() {
    beginResetModel();
    rows_ = ListRows();
    endResetModel();
}

}  // namespace vask
