#include "shell/text_room.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <cmath>

namespace tarvo {

namespace {

// QLineEdit keeps this margin on each side of its text inside the frame, and one pixel
// after the text for the cursor.
constexpr int kEditMargin = 2;
constexpr int kCursor = 1;

class TextRoom : public QObject {
  public:
    TextRoom(QLineEdit* box, const QString& longest) : QObject(box), box_(box), longest_(longest) {
        box->installEventFilter(this);
        apply();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (watched == box_ &&
            (type == QEvent::FontChange || type == QEvent::StyleChange || type == QEvent::Polish)) {
            apply();
        }
        return false;
    }

  private:
    void apply() {
        // What the style takes for the frame, asked of the style itself so that any style
        // (and any frame width) gives the same text room.
        QStyleOptionFrame opt;
        opt.initFrom(box_);
        opt.rect = QRect(0, 0, 1000, 100);
        opt.lineWidth = box_->hasFrame()
                            ? box_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box_)
                            : 0;
        opt.state |= QStyle::State_Sunken;
        const int frame =
            1000 - box_->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box_).width();
        const QMargins text = box_->textMargins();
        const QMargins contents = box_->contentsMargins();
        const int width =
            static_cast<int>(std::ceil(QFontMetricsF(box_->font()).horizontalAdvance(longest_))) +
            kCursor + 2 * kEditMargin + text.left() + text.right() + contents.left() +
            contents.right() + frame;
        box_->setMinimumWidth(width);
    }

    QLineEdit* box_;
    QString longest_;
};

}  // namespace

void reserveTextRoom(QLineEdit* box, const QString& longest) {
    new TextRoom(box, longest);
}

}  // namespace tarvo
