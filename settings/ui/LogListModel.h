// The log page's list: a read-only model over the items of a LogLines, so that a log of a million lines
// costs no widget item per line. Every row has the same size (the view uses uniform item sizes), wide enough
// for the longest item, so the horizontal scroll bar reaches the end of every line.
#pragma once

#include <QAbstractListModel>
#include <QFont>
#include <QSize>
#include <memory>

#include "settings/LogLines.h"

namespace vask {

class LogListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit LogListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    // Shows lines (null: nothing); rows are sized for font.
    void SetLines(std::shared_ptr<const LogLines> lines, const QFont& font);
    const LogLines* Lines() const { return lines_.get(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole: the item's text (UTF-8; bytes that are not UTF-8 show as replacement characters).
    // SizeHintRole: the one size of every row.
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    std::shared_ptr<const LogLines> lines_;
    QSize rowSize_;
};

}  // namespace vask
