#include "app/ui/SearchClipWidget.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace vask {

namespace {

const QPointF kSheetCentre(22.0, 23.0);

void DrawSheet(QPainter& painter) {
    // A page with a folded corner and lines of text.
    QPainterPath page;
    page.moveTo(9.5, 5.5);
    page.lineTo(29.5, 5.5);
    page.lineTo(36.5, 12.5);
    page.lineTo(36.5, 41.5);
    page.lineTo(9.5, 41.5);
    page.closeSubpath();
    painter.setPen(QPen(QColor(0x55, 0x5f, 0x6d), 1.0));
    painter.setBrush(QColor(0xfd, 0xfd, 0xfb));
    painter.drawPath(page);
    painter.setBrush(QColor(0xd8, 0xdc, 0xe2));
    painter.drawPolygon(QPolygonF({QPointF(29.5, 5.5), QPointF(29.5, 12.5), QPointF(36.5, 12.5)}));
    painter.setPen(QPen(QColor(0x8a, 0x94, 0xa3), 1.6, Qt::SolidLine, Qt::RoundCap));
    const double lineEnds[] = {25.0, 32.0, 29.0, 33.0, 22.0, 31.0, 27.0};
    for (int i = 0; i < 7; ++i) {
        const double y = 15.0 + 3.8 * i;
        painter.drawLine(QPointF(13.0, y), QPointF(lineEnds[i], y));
    }
}

}  // namespace

SearchClipWidget::SearchClipWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    timer_.setInterval(1000 / kFramesPerSecond);
    connect(&timer_, &QTimer::timeout, this, &SearchClipWidget::Advance);
}

void SearchClipWidget::Play() {
    frame_ = 0;
    timer_.start();
    update();
}

void SearchClipWidget::Stop() {
    timer_.stop();
    frame_ = 0;
    update();
}

void SearchClipWidget::Advance() {
    frame_ = (frame_ + 1) % kFrameCount;
    update();
}

void SearchClipWidget::DrawFrame(QPainter& painter, int frame) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    DrawSheet(painter);

    // The lens circles the page once per 23 frames; frame 0 puts it at the lower right, where it rests.
    const double angle = 2.0 * std::numbers::pi * frame / kFrameCount + std::numbers::pi / 4.0;
    const QPointF lens(kSheetCentre.x() + 8.0 * std::cos(angle), kSheetCentre.y() + 8.0 * std::sin(angle));
    const double radius = 8.5;

    // Inside the lens the page is drawn again, enlarged around the lens centre.
    QPainterPath lensArea;
    lensArea.addEllipse(lens, radius, radius);
    painter.save();
    painter.setClipPath(lensArea);
    painter.fillPath(lensArea, QColor(0xfd, 0xfd, 0xfb));
    painter.translate(lens);
    painter.scale(1.6, 1.6);
    painter.translate(-lens);
    DrawSheet(painter);
    painter.restore();
    painter.fillPath(lensArea, QColor(0x9c, 0xcf, 0xf5, 70));

    // Handle towards the lower right, then the rim on top of everything.
    const QPointF handleStart(lens.x() + radius * 0.72, lens.y() + radius * 0.72);
    const QPointF handleEnd(handleStart.x() + 8.0, handleStart.y() + 8.0);
    painter.setPen(QPen(QColor(0x6b, 0x3e, 0x1f), 3.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(handleStart, handleEnd);
    painter.setPen(QPen(QColor(0x2b, 0x3a, 0x4f), 2.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(lens, radius, radius);
    painter.restore();
}

void SearchClipWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawFrame(painter, frame_);
}

}  // namespace vask
