// The result list (control 1020) as a list model over the search's ResultList. Nothing is copied: each row's
// text is made from the stored path when a view asks for it, and a tick from the view is written straight
// into the entry's check state.
//
// The model announces rows explicitly: rowCount is the number of rows the views have been told about, which
// lags the list while a walk appends to it. Sync announces the appended rows; after the list was emptied or
// refilled the owner calls Reset.
#pragma once

#include <QAbstractListModel>

#include "search/ResultList.h"

namespace vask {

class ResultListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    // The list must outlive the model.
    explicit ResultListModel(ResultList& results, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole: the path (UTF-8; invalid bytes shown as replacement characters). CheckStateRole:
    // Checked for check state 1, Unchecked for 0, PartiallyChecked for anything else.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // CheckStateRole only: Checked stores 1, anything else 0; emits CheckChanged.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Brings the views up to date with the list: announces the rows appended since the last Sync or Reset
    // (only those), or resets when the list became shorter than what the views know. Returns true when
    // rows were added.
    bool Sync();
    // Tells the views that every row may have changed (the list was emptied or refilled).
    void Reset();

  signals:
    // A view ticked or unticked a row.
    void CheckChanged(int row);

  private:
    int ListRows() const;

    ResultList& results_;
    int rows_ = 0;
};

}  // namespace vask
