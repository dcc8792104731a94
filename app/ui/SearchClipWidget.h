// The search clip (control 1036): 23 frames of 48 × 50 pixels at 7 frames a second, drawn at run time — a
// sheet of paper with a magnifying glass circling over it. It plays from the first frame to the last,
// repeating, and rests on the first frame when stopped. The background is left transparent.
#pragma once

#include <QTimer>
#include <QWidget>

namespace vask {

class SearchClipWidget : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kFrameCount = 23;
    static constexpr int kFramesPerSecond = 7;
    static constexpr int kWidth = 48;
    static constexpr int kHeight = 50;

    explicit SearchClipWidget(QWidget* parent = nullptr);

    // Starts from frame 0 and repeats until Stop.
    void Play();
    // Stops and shows frame 0.
    void Stop();
    bool IsPlaying() const { return timer_.isActive(); }
    int CurrentFrame() const { return frame_; }

    // Draws one frame (0 .. kFrameCount-1) into a kWidth × kHeight area at the painter's origin.
    static void DrawFrame(QPainter& painter, int frame);

    QSize sizeHint() const override { return {kWidth, kHeight}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Advance();

    QTimer timer_;
    int frame_ = 0;
};

}  // namespace vask
