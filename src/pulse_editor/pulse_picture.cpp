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

void PulsePicture::Cls() {
    lines_.clear();
    update();
}

void PulsePicture::addLines(const std::vector<QLine>& lines) {
    lines_.insert(lines_.end(), lines.begin(), lines.end());
    update();
}

void PulsePicture::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.translate(area.topLeft());
    painter.setPen(QPen(kPenColour, 0));
    for (const QLine& line : lines_) {
        painter.drawLine(line);
    }
}

}  // namespace tarvo
