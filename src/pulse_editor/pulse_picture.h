#pragma once

#include <QFrame>
#include <QLine>
#include <vector>

namespace tarvo {

// A picture box of the pulse-width window: lines drawn in its own pixels, origin at the top
// left of the area inside the border, clipped at its edges.
class PulsePicture : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kMinimumWidth = 640;  // the usual train ends near x = 620
    static constexpr int kDrawingHeight = 31;  // idle level at y = 5, active level at y = 25
    static inline const QColor kPenColour{0, 0, 255};

    explicit PulsePicture(QWidget* parent = nullptr);

    void Cls();
    void addLines(const std::vector<QLine>& lines);
    const std::vector<QLine>& lines() const { return lines_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<QLine> lines_;
};

}  // namespace tarvo
