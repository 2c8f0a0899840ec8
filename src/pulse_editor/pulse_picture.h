#pragma once

#include <QFrame>
#include <vector>

#include "core/pulse_settings.h"

namespace tarvo {

// A picture box of the pulse-width window: one pulse train as the core's plot segments,
// drawn in the box's own pixels, origin at the top left of the area inside the border,
// clipped at its edges.
class PulsePicture : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kMinimumWidth = 640;  // the usual train ends near x = 620
    static constexpr int kDrawingHeight = 31;  // idle level at y = 5, active level at y = 25
    static inline const QColor kPenColour{0, 0, 255};

    explicit PulsePicture(QWidget* parent = nullptr);

    // Shows these segments instead of what the box showed; none leaves it empty.
    void setSegments(std::vector<PlotSegment> segments);
    const std::vector<PlotSegment>& segments() const { return segments_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<PlotSegment> segments_;
};

}  // namespace tarvo
