// The project check and signal trace windows.
#include "app/wiring/check_windows.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

namespace {
constexpr int kFindingRole = Qt::UserRole + 1;

// "1 drawing", "2 drawings".
QString counted(int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}
}  // namespace

ProjectCheckWindow::ProjectCheckWindow(Ui& ui, CheckWindowServices services,
                                       db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), services_(std::move(services)), registry_(registry) {
    setObjectName(QStringLiteral("frmProjectCheck"));
    setWindowTitle(QStringLiteral("Check Project"));
    resize(900, 520);
    auto* layout = new QVBoxLayout(this);
    summary_ = named(new QLabel(this), "lblSummary");
    layout->addWidget(summary_);
    list_ = named(new QTreeWidget(this), "lstFindings");
    list_->setHeaderLabels({QStringLiteral("Finding"), QStringLiteral("Drawing"),
                            QStringLiteral("Handle"), QStringLiteral("Record")});
    list_->setRootIsDecorated(true);
    list_->setUniformRowHeights(true);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setStretchLastSection(false);
    layout->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    auto* again = named(new QPushButton(QStringLiteral("Check &Again"), this), "cmdCheck");
    release_ = named(new QPushButton(QStringLiteral("&Release Cable Row..."), this), "cmdRelease");
    correct_ = named(new QPushButton(QStringLiteral("Correct Number &Text"), this), "cmdCorrect");
    auto* close = named(new QPushButton(QStringLiteral("&Close"), this), "cmdClose");
    buttons->addWidget(again);
    buttons->addWidget(release_);
    buttons->addWidget(correct_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(again, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "ProjectCheck.Check", [this] { runCheck(); }); });
    connect(release_, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "ProjectCheck.Release", [this] { release(); }); });
    connect(correct_, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "ProjectCheck.Correct", [this] { correct(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        runGuarded(errors_, "ProjectCheck.Show", [&] { activated(item); });
    });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    updateButtons();
}

void ProjectCheckWindow::runCheck() {
    const QList<wiring::DrawingSource> sources = services_.sources();
    ui_.status(QStringLiteral("Checking the project..."));
    // The records are read while the drawings are.
    wiring::ProjectCheck check(registry_);
    scan_ = wiring::scanProject(
        sources,
        [this](int done, int total) {
            return ui_.progress(QStringLiteral("Reading drawings"), done, total);
        },
        [&check] { check.readRecords(); });
    ui_.progress(QString(), 0, 0);
    list_->clear();
    if (scan_.cancelled) {
        // A check of some drawings would report what the others hold as missing.
        findings_.clear();
        summary_->setText(tr("The check was cancelled: nothing was checked."));
        ui_.status(QString());
        updateButtons();
        return;
    }
    findings_ = check.run(scan_);
    ui_.status(QString());
    QTreeWidgetItem* group = nullptr;
    std::optional<wiring::FindingKind> kind;
    for (int i = 0; i < findings_.size(); ++i) {
        const wiring::Finding& f = findings_[i];
        if (!kind || *kind != f.kind) {
            kind = f.kind;
            group = new QTreeWidgetItem(list_, {wiring::kindTitle(f.kind)});
            group->setFirstColumnSpanned(true);
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
            group->setExpanded(true);
        }
        auto* item = new QTreeWidgetItem(group, {f.text, f.drawing, f.handle, f.record});
        item->setData(0, kFindingRole, i);
        group->setText(
            0, QStringLiteral("%1 (%2)").arg(wiring::kindTitle(f.kind)).arg(group->childCount()));
    }
    for (int c = 1; c < list_->columnCount(); ++c) list_->resizeColumnToContents(c);
    const QString checked = counted(int(scan_.drawings.size()), "drawing", "drawings");
    summary_->setText(
        findings_.isEmpty()
            ? QStringLiteral("%1 checked: nothing found.").arg(checked)
            : QStringLiteral("%1 checked: %2.")
                  .arg(checked, counted(int(findings_.size()), "finding", "findings")));
    updateButtons();
}

const wiring::Finding* ProjectCheckWindow::chosen() const {
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item || !item->data(0, kFindingRole).isValid()) return nullptr;
    const int i = item->data(0, kFindingRole).toInt();
    return i >= 0 && i < findings_.size() ? &findings_[i] : nullptr;
}

QString ProjectCheckWindow::pathOf(const QString& title) const {
    const wiring::ScannedDrawing* d = scan_.drawing(title);
    return d ? d->path : QString();
}

void ProjectCheckWindow::activated(QTreeWidgetItem* item) {
    list_->setCurrentItem(item);
    const wiring::Finding* f = chosen();
    if (!f || f->drawing.isEmpty()) return;
    const QString path = pathOf(f->drawing);
    if (path.isEmpty()) {
        ui_.message(
            QStringLiteral("The drawing %1 is not one of the project's drawings.").arg(f->drawing),
            MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    showClear(path, f->handle);
}

void ProjectCheckWindow::showClear(const QString& path, const QString& handle) {
    services_.show(path, handle);
    // Modal over the drawing, the window would hide what it has just shown.
    if (services_.onScreen && isVisible()) moveClearOf(*this, services_.onScreen(path, handle));
}

void ProjectCheckWindow::release() {
    const wiring::Finding* f = chosen();
    if (!f || !f->releasable()) return;
    if (wiring::ProjectCheck(registry_).release(*f, ui_)) runCheck();
}

void ProjectCheckWindow::correct() {
    const wiring::Finding* f = chosen();
    if (!f || !f->correctable()) return;
    Drawing* drawing = services_.show(pathOf(f->drawing), f->textHandle);
    if (!drawing) return;
    if (services_.onScreen && isVisible())
        moveClearOf(*this, services_.onScreen(pathOf(f->drawing), f->textHandle));
    if (!wiring::ProjectCheck::correctText(*f, *drawing))
        ui_.message(
            QStringLiteral("The number text %1 is no longer in %2.").arg(f->textHandle, f->drawing),
            MsgButtons::Ok, MsgIcon::Information);
    else
        runCheck();
}

void ProjectCheckWindow::updateButtons() {
    const wiring::Finding* f = chosen();
    release_->setEnabled(f && f->releasable());
    correct_->setEnabled(f && f->correctable());
}

SignalTraceWindow::SignalTraceWindow(Ui& ui, CheckWindowServices services,
                                     db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), services_(std::move(services)), registry_(registry) {
    setObjectName(QStringLiteral("frmTraceSignal"));
    setWindowTitle(QStringLiteral("Trace Signal"));
    resize(860, 480);
    auto* layout = new QVBoxLayout(this);
    auto* entry = new QHBoxLayout;
    system_ = named(new QLineEdit(this), "txtSystem");
    system_->setPlaceholderText(QStringLiteral("System (CAM-01)"));
    pin_ = named(new QLineEdit(this), "txtPin");
    pin_->setPlaceholderText(QStringLiteral("Pin (OUT-1)"));
    auto* go = named(new QPushButton(QStringLiteral("&Trace"), this), "cmdTrace");
    go->setDefault(true);
    entry->addWidget(new QLabel(QStringLiteral("System:"), this));
    entry->addWidget(system_, 1);
    entry->addWidget(new QLabel(QStringLiteral("Pin:"), this));
    entry->addWidget(pin_, 1);
    entry->addWidget(go);
    layout->addLayout(entry);
    path_ = named(new QTreeWidget(this), "lstPath");
    path_->setRootIsDecorated(false);
    path_->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Place"), QStringLiteral("System"),
                            QStringLiteral("Pin"), QStringLiteral("Connector"),
                            QStringLiteral("Cable"), QStringLiteral("Sheet")});
    layout->addWidget(path_, 1);
    message_ = named(new QLabel(this), "lblMessage");
    layout->addWidget(message_);
    auto* close = named(new QPushButton(QStringLiteral("&Close"), this), "cmdClose");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    connect(go, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "TraceSignal.Trace", [this] { trace(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(path_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        runGuarded(errors_, "TraceSignal.Show",
                   [&] { showStep(path_->indexOfTopLevelItem(item)); });
    });
}

void SignalTraceWindow::startFrom(const QString& system, const QString& pin) {
    system_->setText(system);
    pin_->setText(pin);
    trace();
}

void SignalTraceWindow::showStep(int step) {
    if (!scan_ || step < 0 || step >= result_.steps.size()) return;
    const auto [path, handle] = wiring::stepEntity(*scan_, result_.steps[step]);
    if (path.isEmpty()) {
        ui_.message(QStringLiteral("The sheet %1 is not one of the project's drawings.")
                        .arg(result_.steps[step].sheet),
                    MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    if (!services_.show(path, handle)) return;
    if (services_.highlight) services_.highlight(wiring::tracedEntities(*scan_, result_));
    if (services_.onScreen && isVisible()) moveClearOf(*this, services_.onScreen(path, handle));
}

void SignalTraceWindow::trace() {
    path_->clear();
    result_ = {};
    const QString system = system_->text().trimmed();
    const QString pin = pin_->text().trimmed();
    if (system.isEmpty() || pin.isEmpty()) {
        ui_.message(QStringLiteral("Please enter a system and a pin."), MsgButtons::Ok,
                    MsgIcon::Information);
        return;
    }
    if (!tracer_) {
        scan_ = std::make_unique<wiring::ProjectScan>(wiring::scanProject(services_.sources()));
        tracer_ = std::make_unique<wiring::SignalTrace>(*scan_, registry_);
    }
    result_ = tracer_->trace(system, pin);
    const wiring::TraceResult& r = result_;
    int n = 0;
    for (const wiring::TraceStep& s : r.steps)
        new QTreeWidgetItem(
            path_, {QString::number(++n), s.place, s.system, s.pin, s.connector, s.cable, s.sheet});
    for (int c = 0; c < path_->columnCount(); ++c) path_->resizeColumnToContents(c);
    message_->setText(r.message.isEmpty()
                          ? QStringLiteral("%1 places on the path.").arg(r.steps.size())
                          : r.message);
}

}  // namespace tolvane
