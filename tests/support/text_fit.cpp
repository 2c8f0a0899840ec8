#include "support/text_fit.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <cmath>

namespace tarvo::test {

namespace {

// QLineEdit keeps this margin on each side of its text, inside the contents rectangle.
constexpr int kLineEditMargin = 2;

int advance(const QWidget& w, const QString& text) {
    return static_cast<int>(std::ceil(QFontMetricsF(w.font()).horizontalAdvance(text)));
}

QString withoutMnemonics(QString text) {
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

QString nameOf(const QWidget& w) {
    if (!w.objectName().isEmpty()) {
        return w.objectName();
    }
    const QWidget* named = w.parentWidget();
    while (named && named->objectName().isEmpty()) {
        named = named->parentWidget();
    }
    return QStringLiteral("%1 in %2")
        .arg(QLatin1String(w.metaObject()->className()),
             named ? named->objectName() : QStringLiteral("?"));
}

// Width the edit draws its text in: contents less frame, text margins and its own margin.
int lineEditRoom(const QLineEdit& e) {
    QStyleOptionFrame opt;
    opt.initFrom(&e);
    opt.rect = e.contentsRect();
    opt.lineWidth =
        e.hasFrame() ? e.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, &e) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    const QRect r = e.style()->subElementRect(QStyle::SE_LineEditContents, &opt, &e);
    return r.width() - e.textMargins().left() - e.textMargins().right() - 2 * kLineEditMargin;
}

class Walk {
  public:
    QStringList cut;

    void check(const QWidget& w, const QString& text, int needed, int room) {
        if (needed > room) {
            cut << QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                       .arg(nameOf(w), text)
                       .arg(needed)
                       .arg(room);
        }
    }
    void text(const QWidget& w, const QString& shown, int room) {
        if (!shown.isEmpty()) {
            check(w, shown, advance(w, shown), room);
        }
    }

    void visit(const QWidget& w) {
        if (const auto* e = qobject_cast<const QLineEdit*>(&w)) {
            // The text cursor takes one more pixel after the last character.
            if (!e->displayText().isEmpty()) {
                check(w, e->displayText(), advance(w, e->displayText()) + 1, lineEditRoom(*e));
            }
        } else if (const auto* c = qobject_cast<const QComboBox*>(&w)) {
            visitCombo(*c);
        } else if (const auto* t = qobject_cast<const QToolButton*>(&w)) {
            const int frame = t->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, t);
            if (t->toolButtonStyle() != Qt::ToolButtonIconOnly) {
                text(w, withoutMnemonics(t->text()), t->width() - 2 * frame);
            }
        } else if (const auto* b = qobject_cast<const QAbstractButton*>(&w)) {
            // Push, radio and check buttons: the contents their style gives the text.
            const auto* push = qobject_cast<const QPushButton*>(b);
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            if (push && push->isDefault()) {
                opt.features |= QStyleOptionButton::DefaultButton;
            }
            if (push && push->autoDefault()) {
                opt.features |= QStyleOptionButton::AutoDefaultButton;
            }
            const auto element = push ? QStyle::SE_PushButtonContents
                                 : qobject_cast<const QRadioButton*>(b)
                                     ? QStyle::SE_RadioButtonContents
                                     : QStyle::SE_CheckBoxContents;
            text(w, withoutMnemonics(b->text()),
                 b->style()->subElementRect(element, &opt, b).width());
        } else if (const auto* l = qobject_cast<const QLabel*>(&w)) {
            visitLabel(*l);
        } else if (const auto* g = qobject_cast<const QGroupBox*>(&w)) {
            QStyleOptionGroupBox opt;
            opt.initFrom(g);
            opt.text = g->title();
            opt.lineWidth = 1;
            opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect label =
                g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
            // The title starts after the frame's left margin and must end before the right one.
            text(w, withoutMnemonics(g->title()), g->width() - 2 * std::max(label.left(), 0));
        } else if (const auto* v = qobject_cast<const QListView*>(&w)) {
            const QAbstractItemModel* model = v->model();
            const int margin = 2 * (v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int row = 0; model && row < model->rowCount(v->rootIndex()); ++row) {
                const QString item =
                    model->index(row, v->modelColumn(), v->rootIndex()).data().toString();
                text(w, item, v->viewport()->width() - margin);
            }
        }
    }

    void visitLabel(const QLabel& l) {
        QString shown = l.text();
        if (l.textFormat() == Qt::RichText ||
            (l.textFormat() == Qt::AutoText && Qt::mightBeRichText(shown))) {
            shown = QTextDocumentFragment::fromHtml(shown).toPlainText();
        } else if (l.buddy()) {
            shown = withoutMnemonics(shown);
        }
        const int room = l.contentsRect().width() - 2 * l.margin();
        if (l.wordWrap()) {
            // A wrapped label has room when the lines it needs fit its height.
            if (!shown.isEmpty() && l.heightForWidth(l.width()) > l.height()) {
                cut << QStringLiteral("%1: \"%2\" needs %3 px high, has %4")
                           .arg(nameOf(l), shown)
                           .arg(l.heightForWidth(l.width()))
                           .arg(l.height());
            }
            return;
        }
        for (const QString& line : shown.split(QLatin1Char('\n'))) {
            text(l, line, room);
        }
    }

    void visitCombo(const QComboBox& c) {
        int room = 0;
        if (c.isEditable() && c.lineEdit()) {
            room = lineEditRoom(*c.lineEdit()) - 1;
        } else {
            QStyleOptionComboBox opt;
            opt.initFrom(&c);
            opt.editable = false;
            opt.frame = c.hasFrame();
            // The label is drawn one pixel in from each side of the field.
            room = c.style()
                       ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, &c)
                       .width() -
                   2;
        }
        for (int i = 0; i < c.count(); ++i) {
            text(c, c.itemText(i), room);
        }
    }
};

}  // namespace

QStringList cutTexts(const QWidget& top) {
    Walk walk;
    if (top.isVisible()) {
        walk.visit(top);
    }
    for (const QWidget* w : top.findChildren<QWidget*>()) {
        // A combo box's own edit field is measured with the combo box.
        if (w->isVisible() && !qobject_cast<const QComboBox*>(w->parentWidget())) {
            walk.visit(*w);
        }
    }
    return walk.cut;
}

void atEachFontScale(const std::function<void(double scale)>& check) {
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        check(scale);
    }
    QApplication::setFont(normal);
}

}  // namespace tarvo::test
