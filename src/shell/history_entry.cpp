// The main window's way into the Meter History window, kept apart from the window's own code.
#include <QKeyEvent>
#include <QShortcut>

#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "history_window/meter_history_window.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

// In terminal mode Ctrl+H (backspace) and Ctrl+P are the board's: the response box keeps them.
class TerminalKeepsCtrlKeys : public QObject {
  public:
    explicit TerminalKeepsCtrlKeys(RetreiveAccountingApp& w) : QObject(&w), w_(w) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride && w_.TerminalModeOn) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_H || key->key() == Qt::Key_P) &&
                key->modifiers() == Qt::ControlModifier) {
                event->accept();
            }
        }
        return false;
    }

  private:
    RetreiveAccountingApp& w_;
};

}  // namespace

void RetreiveAccountingApp::wireHistoryWindow() {
    connect(cmdHistory, &QPushButton::clicked, this, [this] { cmdHistory_Click(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this), &QShortcut::activated, this,
            [this] { cmdHistory_Click(); });
    // Ctrl+P: the report of the last reading, ready to print.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this), &QShortcut::activated, this,
            [this] {
                cmdHistory_Click();
                const auto& last = meterReport().lastReading();
                static_cast<MeterHistoryWindow*>(historyWindow_.data())
                    ->showLastReading(last ? last->serialNumber : QString());
            });
    ResponseWindow->installEventFilter(new TerminalKeepsCtrlKeys(*this));
    QWidget::setTabOrder(Command3, cmdHistory);
}

void RetreiveAccountingApp::cmdHistory_Click() {
    auto* open = static_cast<MeterHistoryWindow*>(historyWindow_.data());
    if (!open) {
        MeterHistoryWindow::Setup setup;
        setup.historyPath = platform_.historyPath;
        setup.centralUrl = meterHistory().centralUrl();
        const auto& last = meterReport().lastReading();
        setup.serial = last ? last->serialNumber : QString();
        setup.files = platform_.files;
        setup.prompts = platform_.prompts;
        setup.locationLines = [this] {
            QStringList lines;
            for (const auto* line : txtLocationInfo) {
                lines << line->text();
            }
            return lines;
        };
        // A window of its own that closes with this one.
        open = new MeterHistoryWindow(std::move(setup), this);
        historyWindow_ = open;
    }
    open->show();
    open->raise();
    open->activateWindow();
}

}  // namespace tarvo
