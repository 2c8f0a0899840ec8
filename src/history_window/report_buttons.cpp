// The Meter History window's reports: one page on the chosen reading, printed or saved as PDF.
#include <QBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>

#include "history_window/meter_history_window.h"

namespace tarvo {

namespace {

QString timeText(const MeterReading& r) {
    return r.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

void MeterHistoryWindow::addReportButtons(QBoxLayout* row) {
    cmdPrint = new QPushButton(QStringLiteral("Print..."));
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdPrint->setToolTip(QStringLiteral("Print the report of the chosen reading (Ctrl+P)"));
    cmdPrint->setShortcut(QKeySequence::Print);
    cmdSavePdf = new QPushButton(QStringLiteral("Save PDF..."));
    cmdSavePdf->setObjectName(QStringLiteral("cmdSavePdf"));
    cmdSavePdf->setToolTip(QStringLiteral("Save the report of the chosen reading as a PDF file"));
    for (auto* b : {cmdPrint, cmdSavePdf}) {
        b->setEnabled(false);
        row->addWidget(b);
    }
    connect(cmdPrint, &QPushButton::clicked, this, &MeterHistoryWindow::cmdPrint_Click);
    connect(cmdSavePdf, &QPushButton::clicked, this, &MeterHistoryWindow::cmdSavePdf_Click);
}

void MeterHistoryWindow::readingsShown(bool newBoard) {
    const auto& readings = model_->readings();
    cmdPrint->setEnabled(!readings.empty());
    cmdSavePdf->setEnabled(!readings.empty());
    if (readings.empty()) {
        return;
    }
    if (newBoard || chooseNewest_) {
        table->selectRow(model_->rowOf(static_cast<int>(readings.size()) - 1));
        chooseNewest_ = false;
    }
    if (focusPrint_) {
        cmdPrint->setFocus();
        focusPrint_ = false;
    }
}

void MeterHistoryWindow::showLastReading(const QString& serial) {
    chooseNewest_ = true;
    focusPrint_ = true;
    if (!serial.isEmpty() && serial != shown_) {
        // The board list is read again too: the board may be new to it.
        setup_.serial = serial;
        shown_.clear();
        loadBoards();
        return;
    }
    readingsShown(false);
    // The reading may have been kept since the table was read.
    chooseNewest_ = true;
    followNow();
}

int MeterHistoryWindow::chosenReading() const {
    const int rows = model_->rowCount();
    const int at = table->currentIndex().isValid() ? table->currentIndex().row() : 0;
    // A memory clear's row stands for the reading before it, or else the one after it.
    for (int row = at; row < rows; ++row) {
        if (model_->readingAt(row) >= 0) {
            return model_->readingAt(row);
        }
    }
    for (int row = at - 1; row >= 0; --row) {
        if (model_->readingAt(row) >= 0) {
            return model_->readingAt(row);
        }
    }
    return -1;
}

std::optional<ReadingReport> MeterHistoryWindow::chosenReport() const {
    const int chosen = chosenReading();
    if (chosen < 0) {
        return std::nullopt;
    }
    return reportOf(model_->readings().at(static_cast<size_t>(chosen)), model_->previous(chosen),
                    model_->clears(),
                    setup_.locationLines ? setup_.locationLines() : QStringList());
}

void MeterHistoryWindow::tellProblem(const QString& why) {
    if (setup_.prompts) {
        setup_.prompts->message(why, MsgButtons::Ok, MsgIcon::Exclamation, QString());
    }
    showProblem(why);
}

void MeterHistoryWindow::cmdSavePdf_Click() {
    const auto report = chosenReport();
    if (!report || !setup_.files) {
        return;
    }
    FileRequest request;
    request.owner = this;
    request.title = QStringLiteral("Save Report as PDF");
    request.nameFilters = {QStringLiteral("PDF files (*.pdf)"), QStringLiteral("All files (*)")};
    request.initialName =
        QStringLiteral("%1-%2.pdf")
            .arg(report->reading.serialNumber,
                 report->reading.time.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    request.save = true;
    const auto choice = setup_.files->choose(request);
    if (!choice) {
        return;
    }
    const QString why = saveReportPdf(*report, choice->path, localPageSize(), font());
    if (!why.isEmpty()) {
        tellProblem(QStringLiteral("Cannot write %1: %2").arg(choice->path, why));
        return;
    }
    historyStatus->setText(QStringLiteral("The report of the reading of %1 is written to %2")
                               .arg(timeText(report->reading), choice->path));
}

void MeterHistoryWindow::cmdPrint_Click() {
    const auto report = chosenReport();
    if (!report) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Meter Report %1").arg(report->reading.serialNumber));
    const bool go = setup_.choosePrinter ? setup_.choosePrinter(printer, this)
                                         : QPrintDialog(&printer, this).exec() == QDialog::Accepted;
    if (!go) {
        return;
    }
    const QString where =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    if (!paintReport(*report, printer, font())) {
        tellProblem(QStringLiteral("Cannot print on %1").arg(where));
        return;
    }
    historyStatus->setText(QStringLiteral("The report of the reading of %1 is sent to %2")
                               .arg(timeText(report->reading), where));
}

}  // namespace tarvo
