// The wizard's check list (PatternCheckList) as a Qt list model: each line's text and tick (0, 1, 2 as
// unticked, ticked, partly ticked), greyed and not clickable when disabled. A tick the view sets is the
// user clicking the box, handed to PatternCheckList::ToggleByUser whatever state the view asks for, so a
// partly ticked header becomes unticked as a check list box does it.
#pragma once

#include <QAbstractListModel>

#include "patterns/PatternWizard.h"

namespace vask {

class PatternCheckListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    // The list must outlive the model.
    PatternCheckListModel(PatternCheckList& list, QObject* parent)
        : QAbstractListModel(parent), list_(list) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // After the lines were replaced (a reload).
    void Reset();
    // After ticks changed (a click's scan).
    void TicksChanged();

  private:
    PatternCheckList& list_;
};

}  // namespace vask
