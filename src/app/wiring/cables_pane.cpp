#include "app/wiring/cables_pane.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/ui.h"

namespace tolvane {

using wiring::TerminalKind;

CablesPane::CablesPane(Ui& ui, QWidget* parent) : QWidget(parent), ui_(ui) {
    setObjectName(QStringLiteral("frmCables"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* startButton = new QPushButton(tr("Start"), this);
    startButton->setObjectName(QStringLiteral("cmdStart"));
    startButton->setToolTip(tr("Draw a cable: pick the source, then the destination"));
    connect(startButton, &QPushButton::clicked, this, [this] {
        if (start) start();
    });
    layout->addWidget(startButton);

    auto* settings = new QGroupBox(tr("Options"), this);
    auto* grid = new QGridLayout(settings);
    const auto box = [settings](const char* name, const QString& text) {
        auto* b = new QCheckBox(text, settings);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    repeat_ = box("chkRepeat", tr("Repeat"));
    autoPoint_ = box("chkAutoPoint", tr("Pointers"));
    autoPoint_->setToolTip(tr("Split each cable with a pair of pointers"));
    autoPlace_ = box("chkAutoPlace", tr("Place at distance"));
    autoPlace_->setToolTip(tr("Place new terminals and the numbers at the distance from the ends"));
    manualDraw_ = box("chkManDraw", tr("Draw by hand"));
    distance_ = new QLineEdit(settings);
    distance_->setObjectName(QStringLiteral("txtDist"));
    distance_->setMaximumWidth(70);
    distance_->setToolTip(tr("Distance of pointers, terminals and number texts from the ends"));
    connect(distance_, &QLineEdit::editingFinished, this, &CablesPane::distanceLeft);
    // Two columns keep the pane short beside the project explorer above it.
    grid->addWidget(repeat_, 0, 0);
    grid->addWidget(manualDraw_, 0, 1);
    grid->addWidget(autoPoint_, 1, 0);
    grid->addWidget(autoPlace_, 1, 1);
    auto* distanceRow = new QHBoxLayout;
    distanceRow->addWidget(new QLabel(tr("Distance:"), settings));
    distanceRow->addWidget(distance_);
    distanceRow->addStretch(1);
    grid->addLayout(distanceRow, 2, 0, 1, 2);
    layout->addWidget(settings);

    auto* terminals = new QGroupBox(tr("New terminal at one end"), this);
    auto* terminalLayout = new QVBoxLayout(terminals);
    auto* ends = new QHBoxLayout;
    atSource_ = new QRadioButton(tr("Source"), terminals);
    atSource_->setObjectName(QStringLiteral("optTermSource"));
    atDestination_ = new QRadioButton(tr("Destination"), terminals);
    atDestination_->setObjectName(QStringLiteral("optTermDest"));
    atDestination_->setChecked(true);
    ends->addWidget(atSource_);
    ends->addWidget(atDestination_);
    terminalLayout->addLayout(ends);
    auto* kinds = new QGridLayout;
    const struct {
        const char* name;
        const char* text;
        TerminalKind kind;
    } buttons[] = {{"cmdArInsJack", "Jack", TerminalKind::Jack},
                   {"cmdArInsJBox", "J-Box", TerminalKind::JBox},
                   {"cmdArInsRouter", "Router", TerminalKind::Router},
                   {"cmdArInsPointer", "Pointer", TerminalKind::Pointer}};
    int i = 0;
    for (const auto& b : buttons) {
        auto* button = new QPushButton(tr(b.text), terminals);
        button->setObjectName(QString::fromLatin1(b.name));
        const TerminalKind kind = b.kind;
        connect(button, &QPushButton::clicked, this, [this, kind] { insertTerminal(kind); });
        kinds->addWidget(button, 0, i);
        ++i;
    }
    terminalLayout->addLayout(kinds);
    layout->addWidget(terminals);

    // The style choice shows only while a jack or J-box waits for its style.
    styleFrame_ = new QGroupBox(this);
    styleFrame_->setObjectName(QStringLiteral("framSelTerm"));
    auto* styleLayout = new QVBoxLayout(styleFrame_);
    for (int n = 0; n < 3; ++n) {
        auto* option = new QRadioButton(styleFrame_);
        option->setObjectName(QStringLiteral("optselterm%1").arg(n));
        styleLayout->addWidget(option);
        styleOptions_ << option;
    }
    auto* ok = new QPushButton(tr("OK"), styleFrame_);
    ok->setObjectName(QStringLiteral("cmdTermOK"));
    connect(ok, &QPushButton::clicked, this, &CablesPane::confirmStyle);
    styleLayout->addWidget(ok);
    styleFrame_->hide();
    layout->addWidget(styleFrame_);
    layout->addStretch(1);
    setUp(options_);
    setUp_ = false;
}

void CablesPane::setUp(const wiring::CableOptions& options) {
    options_ = options;
    repeat_->setChecked(options.repeat);
    autoPoint_->setChecked(options.autoPoint);
    autoPlace_->setChecked(options.autoPlace);
    distance_->setText(formatNumber(options.distance));
    manualDraw_->setChecked(options.manualDraw);
    setUp_ = true;
}

wiring::CableOptions CablesPane::options() const {
    wiring::CableOptions o = options_;
    o.repeat = repeat_->isChecked();
    o.autoPoint = autoPoint_->isChecked();
    o.autoPlace = autoPlace_->isChecked();
    o.manualDraw = manualDraw_->isChecked();
    return o;
}

void CablesPane::distanceLeft() {
    bool ok = false;
    const double d = distance_->text().trimmed().toDouble(&ok);
    if (ok && d > 0 && d < 1e6) {
        options_.distance = d;
        return;
    }
    distance_->setText(formatNumber(options_.distance));
    ui_.message(tr("The distance must be a number greater than 0."), MsgButtons::Ok,
                MsgIcon::Warning);
}

std::optional<wiring::Terminal> CablesPane::takeTerminal() {
    return std::exchange(terminal_, std::nullopt);
}

void CablesPane::insertTerminal(TerminalKind kind) {
    wiring::Terminal t;
    t.kind = kind;
    t.end = atSource_->isChecked() ? wiring::End::Source : wiring::End::Destination;
    const QStringList styles = wiring::terminalStyles(kind);
    if (!styles.isEmpty()) {
        t.style = kind == TerminalKind::Jack ? options_.defaultJack : options_.defaultJBox;
        if (t.style.isEmpty()) {
            // No default style: the user chooses, then OK draws.
            styleKind_ = kind;
            terminal_ = t;
            styleFrame_->setTitle(wiring::terminalStyleHeading(kind));
            for (int n = 0; n < styleOptions_.size(); ++n) {
                styleOptions_[n]->setVisible(n < styles.size());
                styleOptions_[n]->setText(styles.value(n));
                styleOptions_[n]->setChecked(n == 0);
            }
            styleFrame_->show();
            return;
        }
    }
    terminal_ = t;
    if (drawCables) drawCables();
}

void CablesPane::confirmStyle() {
    styleFrame_->hide();
    if (!terminal_) return;
    const QStringList styles = wiring::terminalStyles(styleKind_);
    for (int n = 0; n < styles.size(); ++n)
        if (styleOptions_[n]->isChecked()) terminal_->style = styles[n];
    if (drawCables) drawCables();
}

}  // namespace tolvane
