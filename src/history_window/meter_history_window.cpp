#include "history_window/meter_history_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include "history_window/history_table.h"

namespace tarvo {

namespace {

QString boardText(const MeterHistory::Board& b) {
    return QStringLiteral("%1 (last read %2)")
        .arg(b.serial, b.lastReading.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

}  // namespace

MeterHistoryWindow::MeterHistoryWindow(Setup setup, QWidget* parent)
    : QWidget(parent, Qt::Window), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("MeterHistoryWindow"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    history_ = std::make_unique<HistoryThread>(
        [path = setup_.historyPath, url = setup_.centralUrl](std::shared_ptr<Interrupt> stop) {
            auto h = std::make_unique<MeterHistory>(path, MeterHistory::Damaged::Refuse);
            // Looking never changes the file; the main window keeps the readings.
            h->setReadOnly(true);
            h->setCentral(url, std::move(stop));
            return h;
        });
    connect(&follow_, &QTimer::timeout, this, &MeterHistoryWindow::followNow);
    follow_.start(setup_.followMs);
    loadBoards();
}

MeterHistoryWindow::~MeterHistoryWindow() = default;

QChart& MeterHistoryWindow::chart() {
    return *chartView->chart();
}

void MeterHistoryWindow::buildControls() {
    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    boardChooser = new QComboBox;
    boardChooser->setObjectName(QStringLiteral("boardChooser"));
    boardChooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* boardLabel = new QLabel(QStringLiteral("&Board:"));
    boardLabel->setBuddy(boardChooser);
    top->addWidget(boardLabel);
    top->addWidget(boardChooser);
    top->addStretch(1);
    cmdExportCsv = new QPushButton(QStringLiteral("Export CSV"));
    cmdExportCsv->setObjectName(QStringLiteral("cmdExportCsv"));
    cmdExportCsv->setEnabled(false);
    top->addWidget(cmdExportCsv);
    addReportButtons(top);
    outer->addLayout(top);

    historyStatus = new QLabel(QStringLiteral("Reading the history..."));
    historyStatus->setObjectName(QStringLiteral("historyStatus"));
    historyStatus->setWordWrap(true);
    historyStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    outer->addWidget(historyStatus);

    auto* split = new QSplitter(Qt::Vertical);
    model_ = new HistoryTable(this);
    model_->wantOlder = [this] { loadOlder(); };
    table = new QTableView;
    table->setObjectName(QStringLiteral("historyTable"));
    table->setAccessibleName(QStringLiteral("Readings, newest first"));
    table->setModel(model_);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    // Fixed row heights and a few rows measured: ten thousand rows lay out at once.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setResizeContentsPrecision(20);
    split->addWidget(table);

    auto* chartArea = new QWidget;
    auto* chartLayout = new QVBoxLayout(chartArea);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    auto* choices = new QHBoxLayout;
    meterChooser = new QComboBox;
    meterChooser->setObjectName(QStringLiteral("meterChooser"));
    meterChooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const auto& m : chartMeters()) {
        meterChooser->addItem(QLatin1String(m.label), QLatin1String(m.name));
    }
    auto* meterLabel = new QLabel(QStringLiteral("&Meter:"));
    meterLabel->setBuddy(meterChooser);
    choices->addWidget(meterLabel);
    choices->addWidget(meterChooser);
    for (size_t i = 0; i < terminalChoice.size(); ++i) {
        auto* box = new QCheckBox(QStringLiteral("Terminal %1").arg(i + 1));
        box->setObjectName(QStringLiteral("terminalChoice_%1").arg(i));
        box->setChecked(true);
        terminalChoice[i] = box;
        choices->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &MeterHistoryWindow::redrawChart);
    }
    choices->addStretch(1);
    chartLayout->addLayout(choices);
    chartView = new QChartView;
    chartView->setObjectName(QStringLiteral("meterChart"));
    chartView->setAccessibleName(QStringLiteral("Meter chart"));
    chartView->setRenderHint(QPainter::Antialiasing, false);
    chartView->setMinimumHeight(fontMetrics().height() * 14);
    chartView->chart()->legend()->setAlignment(Qt::AlignBottom);
    chartLayout->addWidget(chartView, 1);
    split->addWidget(chartArea);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    outer->addWidget(split, 1);

    connect(boardChooser, &QComboBox::activated, this,
            [this](int i) { loadBoard(boardChooser->itemData(i).toString()); });
    connect(meterChooser, &QComboBox::currentIndexChanged, this, &MeterHistoryWindow::redrawChart);
    connect(cmdExportCsv, &QPushButton::clicked, this, &MeterHistoryWindow::cmdExportCsv_Click);
    // Room for a six-terminal table and a readable chart, within the screen.
    QSize wanted(fontMetrics().averageCharWidth() * 170, fontMetrics().height() * 52);
    if (const QScreen* screen = this->screen()) {
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    }
    resize(wanted);
}

template <typename Work, typename Done>
void MeterHistoryWindow::onHistoryThread(Work work, Done done) {
    ++pending_;
    history_->post(
        this,
        [work = std::move(work)](MeterHistory& h) {
            auto result = work(h);
            QString problem = result ? h.centralProblem() : h.problem();
            return std::make_pair(std::move(result), problem);
        },
        [this, done = std::move(done)](auto answer) mutable {
            --pending_;
            done(std::move(answer.first), answer.second);
            emit loaded();
        });
}

void MeterHistoryWindow::loadBoards() {
    onHistoryThread(
        [](MeterHistory& h) { return h.boards(); },
        [this](auto boards, const QString& problem) {
            applyBoards(boards ? std::move(*boards) : std::vector<MeterHistory::Board>(), problem);
        });
}

void MeterHistoryWindow::applyBoards(std::vector<MeterHistory::Board> boards,
                                     const QString& problem) {
    const QString keep = shown_.isEmpty() ? setup_.serial : shown_;
    boardChooser->clear();
    for (const auto& b : boards) {
        boardChooser->addItem(boardText(b), b.serial);
    }
    if (boards.empty()) {
        showProblem(problem.isEmpty() ? QStringLiteral("No readings kept yet.") : problem);
        return;
    }
    int index = boardChooser->findData(keep);
    if (index < 0) {
        index = 0;  // the board read last
    }
    boardChooser->setCurrentIndex(index);
    if (shown_ != boards[static_cast<size_t>(index)].serial) {
        loadBoard(boards[static_cast<size_t>(index)].serial);
    } else if (!problem.isEmpty()) {
        showProblem(problem);
    }
}

namespace {

// A page of a board's readings, the newest before a time, and what the window needs with it.
struct Page {
    std::vector<MeterReading> readings;
    std::optional<MeterReading> before;  // the reading just before them
    std::vector<QDateTime> clears;
    int count = 0;  // the board's readings in all
    bool older = false;
};

std::optional<Page> readPage(MeterHistory& h, const QString& serial,
                             std::optional<QDateTime> before, int size) {
    MeterHistory::Filter filter(serial);
    filter.before = before;
    filter.newest = size;
    auto readings = h.readings(filter);
    auto clears = readings ? h.memoryClears(serial) : std::nullopt;
    auto boards = clears ? h.boards() : std::nullopt;
    if (!boards) {
        return std::nullopt;
    }
    Page page{std::move(*readings), std::nullopt, std::move(*clears), 0, false};
    for (const auto& b : *boards) {
        page.count = b.serial == serial ? b.readings : page.count;
    }
    if (!page.readings.empty()) {
        filter.before = page.readings.front().time;
        filter.newest = 1;
        auto previous = h.readings(filter);
        if (!previous) {
            return std::nullopt;
        }
        if (!previous->empty()) {
            page.before = previous->front();
            page.older = true;
        }
    }
    return page;
}

}  // namespace

void MeterHistoryWindow::loadBoard(const QString& serial) {
    const int generation = ++generation_;
    shown_ = serial;
    historyStatus->setText(QStringLiteral("Reading the history of %1...").arg(serial));
    // The newest readings first; older ones as the table is scrolled to its end.
    onHistoryThread([serial, size = setup_.pageSize](
                        MeterHistory& h) { return readPage(h, serial, std::nullopt, size); },
                    [this, generation, serial](std::optional<Page> page, const QString& problem) {
                        if (generation != generation_) {
                            return;  // another board was chosen meanwhile
                        }
                        if (!page) {
                            model_->reset({}, {});
                            readingsShown(true);
                            chartData_ = ChartData();
                            showProblem(problem);
                            return;
                        }
                        count_ = page->count;
                        model_->reset(std::move(page->readings), std::move(page->clears),
                                      page->older, std::move(page->before));
                        chartData_ = ChartData();
                        chartData_.append(model_->readings());
                        table->resizeColumnsToContents();
                        cmdExportCsv->setEnabled(!model_->readings().empty());
                        readingsShown(true);
                        showCount(problem);
                        redrawChart();
                    });
}

void MeterHistoryWindow::loadOlder() {
    if (model_->readings().empty()) {
        return;
    }
    const int generation = generation_;
    const QString serial = shown_;
    onHistoryThread(
        [serial, before = model_->readings().front().time,
         size = setup_.pageSize](MeterHistory& h) { return readPage(h, serial, before, size); },
        [this, generation](std::optional<Page> page, const QString& problem) {
            if (generation != generation_) {
                return;
            }
            if (!page) {
                model_->addOlder({}, false, std::nullopt);
                showProblem(problem);
                return;
            }
            model_->addOlder(std::move(page->readings), page->older, std::move(page->before));
            chartData_ = ChartData();
            chartData_.append(model_->readings());
            redrawChart();
        });
}

void MeterHistoryWindow::showCount(const QString& problem) {
    historyStatus->setText(QStringLiteral("%1: %2 readings").arg(shown_).arg(count_) +
                           (problem.isEmpty() ? QString() : QStringLiteral("\n") + problem));
}

void MeterHistoryWindow::followNow() {
    if (loading()) {
        return;  // the next turn looks again
    }
    if (shown_.isEmpty() || model_->readings().empty()) {
        loadBoards();
        return;
    }
    const int generation = generation_;
    const QString serial = shown_;
    const QDateTime after = model_->readings().back().time.addMSecs(1);
    struct Newer {
        std::vector<MeterReading> readings;
        std::vector<QDateTime> clears;
        std::vector<MeterHistory::Board> boards;
        ChartData chart;
    };
    onHistoryThread(
        [serial, after](MeterHistory& h) -> std::optional<Newer> {
            auto readings = h.readings({serial, after});
            auto clears = readings ? h.memoryClears(serial) : std::nullopt;
            auto boards = clears ? h.boards() : std::nullopt;
            if (!boards) {
                return std::nullopt;
            }
            ChartData chart;
            chart.append(*readings);
            return Newer{std::move(*readings), std::move(*clears), std::move(*boards),
                         std::move(chart)};
        },
        [this, generation, serial](std::optional<Newer> newer, const QString& problem) {
            if (generation != generation_) {
                return;
            }
            if (!newer) {
                showProblem(problem);
                return;
            }
            // The list's times move on; the choice stays.
            for (const auto& b : newer->boards) {
                const int i = boardChooser->findData(b.serial);
                if (i < 0) {
                    boardChooser->addItem(boardText(b), b.serial);
                } else {
                    boardChooser->setItemText(i, boardText(b));
                }
            }
            // A reading taken before those shown but kept since (another laptop's, sent
            // late) changes what went backwards: the board is read again.
            for (const auto& b : newer->boards) {
                if (b.serial == serial &&
                    b.readings != count_ + static_cast<int>(newer->readings.size())) {
                    loadBoard(serial);
                    return;
                }
            }
            count_ += static_cast<int>(newer->readings.size());
            const bool grew = !newer->readings.empty();
            model_->addNewer(std::move(newer->readings), std::move(newer->clears));
            chartData_.append(newer->chart);
            readingsShown(false);
            showCount(problem);
            if (grew) {
                redrawChart();
            }
        });
}

void MeterHistoryWindow::showProblem(const QString& problem) {
    // Said where it stays: the line above the table, until the next read works.
    historyStatus->setText(problem);
}

void MeterHistoryWindow::redrawChart() {
    QChart& c = chart();
    c.removeAllSeries();
    for (QAbstractAxis* axis : c.axes()) {
        c.removeAxis(axis);
        delete axis;
    }
    const auto& readings = model_->readings();
    const int meter = meterChooser->currentIndex();
    c.setTitle(QStringLiteral("%1 of %2").arg(meterChooser->currentText(), shown_));
    auto* time = new QDateTimeAxis;
    time->setTitleText(QStringLiteral("Time"));
    auto* value = new QValueAxis;
    value->setLabelFormat(QStringLiteral("%.0f"));
    value->setTitleText(meterChooser->currentText());
    c.addAxis(time, Qt::AlignBottom);
    c.addAxis(value, Qt::AlignLeft);
    const auto& present = model_->terminals();
    double lo = 0, hi = 1;
    bool any = false;
    QList<QPointF> drops;
    for (size_t i = 0; i < terminalChoice.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const bool here = std::find(present.begin(), present.end(), number) != present.end();
        terminalChoice[i]->setVisible(here);
        if (!here || !terminalChoice[i]->isChecked()) {
            continue;
        }
        const MeterSeries s = meterSeries(chartData_, number, meter);
        auto* line = new QLineSeries;
        line->setName(QStringLiteral("Terminal %1").arg(number));
        line->replace(s.line);
        c.addSeries(line);
        line->attachAxis(time);
        line->attachAxis(value);
        for (const QPointF& p : s.line) {
            lo = any ? std::min(lo, p.y()) : p.y();
            hi = any ? std::max(hi, p.y()) : p.y();
            any = true;
        }
        drops << s.drops;
    }
    if (!drops.isEmpty()) {
        auto* marks = new QScatterSeries;
        marks->setName(QStringLiteral("Went down"));
        marks->setColor(QColor(0xD0, 0x30, 0x20));
        marks->setMarkerSize(fontMetrics().height() * 0.6);
        marks->replace(drops);
        c.addSeries(marks);
        marks->attachAxis(time);
        marks->attachAxis(value);
    }
    if (!readings.empty()) {
        const QDateTime first = readings.front().time, last = readings.back().time;
        time->setRange(first, last > first ? last : first.addSecs(60));
    }
    // Meters are whole numbers: a span of at least one step per tick keeps every label a
    // different whole number ("0 0 1 1 1" on a flat line otherwise).
    value->setRange(lo, std::max(hi, lo + value->tickCount() - 1));
    value->applyNiceNumbers();
    fitTimeAxis();
    chartView->setAccessibleDescription(QStringLiteral("%1 of %2, %3 readings, %4 drops")
                                            .arg(meterChooser->currentText(), shown_)
                                            .arg(readings.size())
                                            .arg(drops.size()));
}

void MeterHistoryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitTimeAxis();
}

// As many time labels as fit side by side, each whole: the date alone over long stretches.
void MeterHistoryWindow::fitTimeAxis() {
    const auto axes = chart().axes(Qt::Horizontal);
    auto* time = axes.isEmpty() ? nullptr : qobject_cast<QDateTimeAxis*>(axes.first());
    if (!time) {
        return;
    }
    const qint64 span = time->min().secsTo(time->max());
    // Seconds over a short stretch, or readings minutes apart would share one label.
    const QString format = span > 2 * 86400 ? QStringLiteral("yyyy-MM-dd")
                           : span > 3600    ? QStringLiteral("MM-dd HH:mm")
                                            : QStringLiteral("HH:mm:ss");
    time->setFormat(format);
    const QFontMetrics metrics(time->labelsFont());
    const int label =
        metrics.horizontalAdvance(time->max().toString(format)) + metrics.averageCharWidth() * 3;
    // The plot takes the chart's width less the value axis and the margins.
    const int room = chartView->width() - metrics.averageCharWidth() * 16;
    time->setTickCount(std::clamp(room / std::max(1, label), 2, 8));
}

void MeterHistoryWindow::cmdExportCsv_Click() {
    if (!setup_.files || model_->readings().empty()) {
        return;
    }
    FileRequest request;
    request.owner = this;
    request.title = QStringLiteral("Export CSV");
    request.nameFilters = {QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)")};
    request.initialName = shown_ + QStringLiteral("-history.csv");
    request.save = true;
    const auto choice = setup_.files->choose(request);
    if (!choice) {
        return;
    }
    // Every reading of the board, not only those the table has read so far.
    onHistoryThread([serial = shown_](MeterHistory& h) { return h.readings({serial}); },
                    [this, path = choice->path](auto readings, const QString& problem) {
                        if (!readings) {
                            showProblem(problem);
                            return;
                        }
                        exportTo(path, *readings);
                    });
}

void MeterHistoryWindow::exportTo(const QString& path, const std::vector<MeterReading>& readings) {
    QSaveFile file(path);
    const QByteArray bytes = formatReadings(readings, RecordFormat::Csv, true).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        const QString why = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        if (setup_.prompts) {
            setup_.prompts->message(why, MsgButtons::Ok, MsgIcon::Exclamation, QString());
        }
        showProblem(why);
        return;
    }
    historyStatus->setText(
        QStringLiteral("%1 readings written to %2").arg(readings.size()).arg(path));
}

}  // namespace tarvo
