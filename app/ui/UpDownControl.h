// An up-down control attached to a line edit: two arrow buttons (and the Up and Down keys in the edit) that
// read the edit's number, step it by one within [minimum, maximum] and write it back. Unlike a spin box it
// leaves the edit alone otherwise, so the edit keeps its own validation and may hold numbers outside the
// range, which the command that reads it judges. Never takes the keyboard focus itself.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace vask {

class UpDownControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)

  public:
    explicit UpDownControl(QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setMinimum(int value) { minimum_ = value; }
    void setMaximum(int value) { maximum_ = value; }

    // The edit whose number the arrows change; null detaches. The edit must outlive the attachment.
    void SetBuddy(QLineEdit* buddy);
    QLineEdit* Buddy() const { return buddy_; }

    // The buddy's number moved by delta: its leading digits read as a number (none: 0), brought into the
    // range, stepped, and brought into the range again. Does nothing without a buddy or while disabled.
    void StepBy(int delta);

    QSize sizeHint() const override;

  signals:
    void ValueChanged(int value);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QToolButton* up_;
    QToolButton* down_;
    QLineEdit* buddy_ = nullptr;
    int minimum_ = 0;
    int maximum_ = 100;
};

}  // namespace vask
