#include "pulse_editor/frm_set_pulses.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include "core/pulse_files.h"
#include "pulse_editor/pulse_board.h"
#include "pulse_editor/pulse_files.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

QString indexed(const char* name, int n) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(n);
}

QString gameSuffix(int n) {
    return QStringLiteral(", Game %1").arg(n + 1);
}

template <typename W>
W* named(W* widget, const QString& objectName, const QString& accessibleName) {
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    return widget;
}

}  // namespace

FrmSetPulses::FrmSetPulses(RetreiveAccountingApp& main) : QWidget(nullptr), main_(main) {
    setObjectName(QStringLiteral("FrmSetPulses"));
    setWindowTitle(QStringLiteral("Configure Pulse Width"));
    board_ = std::make_unique<PulseBoard>(*this);
    files_ = std::make_unique<PulseFiles>(*this);
    buildControls();
    wireHandlers();
    Form_Load();
}

FrmSetPulses::~FrmSetPulses() = default;

// ---------------------------------------------------------------------------------------------
// Controls

void FrmSetPulses::buildControls() {
    auto* games = new QWidget;
    games->setObjectName(QStringLiteral("Games"));
    auto* stack = new QVBoxLayout(games);
    for (int n = 0; n < kGames; ++n) {
        stack->addWidget(buildGame(n));
    }
    // On a small screen or with large fonts the games scroll rather than shrink.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("GamesScroll"));
    scroll->setWidget(games);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes straight to the first box; the area scrolls to whichever control has focus.
    scroll->setFocusPolicy(Qt::NoFocus);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const QString& caption, const char* name) {
        auto* b = named(new QPushButton(caption), QString::fromLatin1(name), caption);
        buttons->addWidget(b);
        return b;
    };
    CmdRead = button(QStringLiteral("READ"), "CmdRead");
    CmdWrite = button(QStringLiteral("WRITE"), "CmdWrite");
    CmdRedraw = button(QStringLiteral("Re-Draw"), "CmdRedraw");
    CmdCreateBix = button(QStringLiteral("CREATE Bix File"), "CmdCreateBix");
    CmdLoad = button(QStringLiteral("LOAD Template"), "CmdLoad");
    CmdSave = button(QStringLiteral("SAVE Template"), "CmdSave");
    buttons->addStretch();

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(scroll, 1);
    outer->addLayout(buttons);

    games_ = games;
    buttonsHeight_ = buttons->minimumSize().height();
    fitToGames();
}

void FrmSetPulses::fitToGames() {
    // As large as the games need, within the screen; the scroll area takes any shortfall.
    const QSize wanted =
        games_->minimumSizeHint() +
        QSize(style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * 12, buttonsHeight_ + 3 * 12);
    QSize size = wanted.expandedTo(this->size());
    if (const QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size() * 0.95).expandedTo(this->size());
    }
    resize(size);
}

QGroupBox* FrmSetPulses::buildGame(int n) {
    const QString suffix = gameSuffix(n);
    auto* frame = new QGroupBox;
    frame->setObjectName(indexed("Frame1", n));
    Frame1[n] = frame;
    setFrameCaption(n, pulseStartCaption(n));

    auto* grid = new QGridLayout(frame);
    grid->setVerticalSpacing(2);
    const QFontMetrics fm = fontMetrics();
    // Room for a value of four digits with the box's own margins.
    const int boxWidth = fm.horizontalAdvance(QStringLiteral("00000")) + fm.height();

    auto box = [&](PerGame<QLineEdit>& array, const char* name, const QString& spoken) {
        auto* edit = named(new QLineEdit, indexed(name, n), spoken + suffix);
        edit->setMinimumWidth(boxWidth);
        edit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        array[n] = edit;
        return edit;
    };
    auto picture = [&](PerGame<PulsePicture>& array, const char* name, const QString& spoken) {
        auto* p = named(new PulsePicture, indexed(name, n), spoken + suffix);
        array[n] = p;
        return p;
    };
    auto label = [&](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    auto onOff = [&](int row, QLineEdit* on, QLineEdit* off) {
        grid->addWidget(label(QStringLiteral("ON"), on), row, 4);
        grid->addWidget(on, row, 5);
        grid->addWidget(label(QStringLiteral("OFF"), off), row, 6);
        grid->addWidget(off, row, 7);
    };

    // Row 1: meter pulse 1 and the game file buttons.
    const QString pulse1 = QStringLiteral("Mech Pulse #1");
    box(TxtPulse1On, "TxtPulse1On", pulse1 + QStringLiteral(" ON"));
    box(TxtPulse1OFF, "TxtPulse1OFF", pulse1 + QStringLiteral(" OFF"));
    grid->addWidget(label(pulse1, TxtPulse1On[n]), 0, 0);
    grid->addWidget(picture(PicMechPulse1, "PicMechPulse1", pulse1 + QStringLiteral(" plot")), 0,
                    1);
    auto fileButton = [&](PerGame<QToolButton>& array, const char* name, const QString& spoken,
                          QStyle::StandardPixmap icon) {
        auto* b = named(new QToolButton, indexed(name, n), spoken + suffix);
        b->setIcon(style()->standardIcon(icon));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(spoken);
        array[n] = b;
        return b;
    };
    grid->addWidget(fileButton(CmdLoadGame, "CmdLoadGame", QStringLiteral("Load game file"),
                               QStyle::SP_DialogOpenButton),
                    0, 2, Qt::AlignLeft);
    grid->addWidget(fileButton(CmdSaveGame, "CmdSaveGame", QStringLiteral("Save game file"),
                               QStyle::SP_DialogSaveButton),
                    0, 3, Qt::AlignLeft);
    onOff(0, TxtPulse1On[n], TxtPulse1OFF[n]);

    // Row 2: meter pulse 2 with its two offsets.
    const QString pulse2 = QStringLiteral("Mech Pulse #2");
    box(TxtOffset, "TxtOffset", pulse2 + QStringLiteral(" offset"));
    box(TxtOffset2, "TxtOffset2", pulse2 + QStringLiteral(" second offset"));
    box(TxtPulse2On, "TxtPulse2On", pulse2 + QStringLiteral(" ON"));
    box(TxtPulse2Off, "TxtPulse2Off", pulse2 + QStringLiteral(" OFF"));
    grid->addWidget(label(pulse2, TxtOffset[n]), 1, 0);
    grid->addWidget(picture(PicMechPulse2, "PicMechPulse2", pulse2 + QStringLiteral(" plot")), 1,
                    1);
    grid->addWidget(TxtOffset[n], 1, 2);
    grid->addWidget(TxtOffset2[n], 1, 3);
    onOff(1, TxtPulse2On[n], TxtPulse2Off[n]);

    // Row 3: the third pulse and what it drives.
    const QString hopper = QStringLiteral("Hopper /Cashout");
    box(txtHopperOn, "txtHopperOn", hopper + QStringLiteral(" ON"));
    box(TxtHopperOff, "TxtHopperOff", hopper + QStringLiteral(" OFF"));
    auto* use =
        named(new QComboBox, indexed("CmbHopper", n), hopper + QStringLiteral(" use") + suffix);
    CmbHopper[n] = use;
    grid->addWidget(label(hopper, use), 2, 0);
    grid->addWidget(picture(PicHopperPulse, "PicHopperPulse", hopper + QStringLiteral(" plot")), 2,
                    1);
    grid->addWidget(use, 2, 2, 1, 2);
    onOff(2, txtHopperOn[n], TxtHopperOff[n]);

    grid->setColumnStretch(1, 1);
    return frame;
}

void FrmSetPulses::setFrameCaption(int n, const QString& caption) {
    Frame1[n]->setTitle(caption);
    // A frame is announced by what it shows, so the name follows the caption.
    Frame1[n]->setAccessibleName(caption);
    // A loaded file's path stays whole: the frames widen, and the window with them as far as
    // the screen allows.
    if (games_) {
        fitToGames();
    }
}

void FrmSetPulses::wireHandlers() {
    // Every handler runs under a Busy mark, so closing the window while one waits never
    // deletes the window under it.
    auto on = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this, [this, handler] {
            Busy busy(*this);
            handler();
        });
    };
    on(CmdRedraw, &QPushButton::clicked, [this] { CmdRedraw_Click(); });
    on(CmdRead, &QPushButton::clicked, [this] { board_->CmdRead_Click(); });
    on(CmdWrite, &QPushButton::clicked, [this] { board_->CmdWrite_Click(); });
    on(CmdSave, &QPushButton::clicked, [this] { files_->CmdSave_Click(); });
    on(CmdLoad, &QPushButton::clicked, [this] { files_->CmdLoad_Click(); });
    on(CmdCreateBix, &QPushButton::clicked, [this] { files_->CmdCreateBix_Click(); });
    for (int n = 0; n < kGames; ++n) {
        on(CmdSaveGame[n], &QToolButton::clicked, [this, n] { files_->CmdSaveGame_Click(n); });
        on(CmdLoadGame[n], &QToolButton::clicked, [this, n] { files_->CmdLoadGame_Click(n); });
        // Each change handler only redraws all six games; a change of CmbHopper draws nothing.
        for (auto* box : {TxtPulse1On[n], TxtPulse1OFF[n], TxtPulse2On[n], TxtPulse2Off[n],
                          txtHopperOn[n], TxtHopperOff[n], TxtOffset[n], TxtOffset2[n]}) {
            on(box, &QLineEdit::textChanged, [this] { CmdRedraw_Click(); });
        }
    }
}

void FrmSetPulses::Form_Load() {
    for (int n = 0; n < kGames; ++n) {
        CmbHopper[n]->addItem(QStringLiteral("Cashout"));
        CmbHopper[n]->addItem(QStringLiteral("Hopper"));
        CmbHopper[n]->setCurrentIndex(-1);
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void FrmSetPulses::CmdRedraw_Click() {
    for (int n = 0; n < kGames; ++n) {
        // A game missing a value shows three empty pictures.
        GamePlot plot = gamePlot(game(n)).value_or(GamePlot{});
        PicMechPulse1[n]->setSegments(std::move(plot.mechPulse1));
        PicMechPulse2[n]->setSegments(std::move(plot.mechPulse2));
        PicHopperPulse[n]->setSegments(std::move(plot.hopper));
    }
}

// ---------------------------------------------------------------------------------------------
// Values

GamePulseSetting FrmSetPulses::game(int n) const {
    GamePulseSetting g;
    g.TxtPulse1On = TxtPulse1On[n]->text();
    g.TxtPulse1OFF = TxtPulse1OFF[n]->text();
    g.txtHopperOn = txtHopperOn[n]->text();
    g.TxtHopperOff = TxtHopperOff[n]->text();
    g.TxtPulse2On = TxtPulse2On[n]->text();
    g.TxtPulse2Off = TxtPulse2Off[n]->text();
    g.TxtOffset = TxtOffset[n]->text();
    g.TxtOffset2 = TxtOffset2[n]->text();
    g.CmbHopper = CmbHopper[n]->currentIndex();
    return g;
}

PulseGames FrmSetPulses::games() const {
    PulseGames all;
    for (int n = 0; n < kGames; ++n) {
        all[static_cast<size_t>(n)] = game(n);
    }
    return all;
}

void FrmSetPulses::fillGame(int n, const PulseGameRead& read) {
    GamePulseSetting g = game(n);
    read.applyTo(g);
    // In block order, as the board reply lists them.
    TxtPulse1On[n]->setText(g.TxtPulse1On);
    TxtPulse1OFF[n]->setText(g.TxtPulse1OFF);
    txtHopperOn[n]->setText(g.txtHopperOn);
    TxtHopperOff[n]->setText(g.TxtHopperOff);
    TxtPulse2On[n]->setText(g.TxtPulse2On);
    TxtPulse2Off[n]->setText(g.TxtPulse2Off);
    TxtOffset[n]->setText(g.TxtOffset);
    TxtOffset2[n]->setText(g.TxtOffset2);
    CmbHopper[n]->setCurrentIndex(g.CmbHopper);
}

void FrmSetPulses::showRefusal(const PulseRefusal& refusal) {
    main_.platform().prompts->message(refusal.text, MsgButtons::Ok,
                                      refusal.criticalIcon ? MsgIcon::Critical : MsgIcon::None,
                                      refusal.title);
}

// ---------------------------------------------------------------------------------------------
// Showing and closing

void FrmSetPulses::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

FrmSetPulses::Busy::Busy(FrmSetPulses& window) : window_(window) {
    ++window_.busy_;
}

FrmSetPulses::Busy::~Busy() {
    if (--window_.busy_ == 0 && window_.closing_) {
        window_.deleteLater();
    }
}

void FrmSetPulses::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        // Ends any wait a handler of this window is in; the window goes once none is left.
        closing_ = true;
        if (busy_ == 0) {
            deleteLater();
        } else {
            // A READ of this window waiting for the board stops waiting.
            main_.session().requestStop();
        }
    }
    event->accept();
}

}  // namespace tarvo
