#include "pulse_editor/pulse_picture.h"

#include <QPainter>

namespace tarvo {

PulsePicture::PulsePicture(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    const int border = 2 * frameWidth();
    setMinimumSize(kMinimumWidth + border, kDrawingHeight + border);
    // Wider windows show more of a long train; the height is that of the drawing.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PulsePicture::setSegments(std::vector<PlotSegment> segments) {
    segments_ = std::move(segments);
    update();
}

void PulsePicture::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.translate(area.topLeft());
    painter.setPen(QPen(kPenColour, 0));
    for (const PlotSegment& s : segments_) {
        painter.drawLine(s.x1, s.y1, s.x2, s.y2);
    }
}

}  // namespace tarvo
