// The compare window of the cable schedule's revisions.
#include "app/projects/revision_windows.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "reports/cable_changes_export.h"
#include "shell/error_handler.h"
#include "ui/ui.h"
#include "wiring/revisions.h"

namespace tolvane {

namespace {
constexpr int kNow = -1;  // the item data of the side "Now"

QString counted(qsizetype n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}
}  // namespace

CompareRevisionsWindow::CompareRevisionsWindow(Ui& ui, RevisionWindowServices services,
                                               db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), services_(std::move(services)), registry_(registry) {
    setObjectName(QStringLiteral("frmCompareRevisions"));
    setWindowTitle(QStringLiteral("Compare Revisions"));
    resize(980, 560);
    auto* layout = new QVBoxLayout(this);
    auto* sides = new QHBoxLayout;
    sides->addWidget(new QLabel(QStringLiteral("From:"), this));
    fromBox_ = named(new QComboBox(this), "cboFrom");
    sides->addWidget(fromBox_, 1);
    sides->addWidget(new QLabel(QStringLiteral("To:"), this));
    toBox_ = named(new QComboBox(this), "cboTo");
    sides->addWidget(toBox_, 1);
    auto* go = named(new QPushButton(QStringLiteral("C&ompare"), this), "cmdCompare");
    sides->addWidget(go);
    layout->addLayout(sides);
    summary_ = named(new QLabel(this), "lblSummary");
    layout->addWidget(summary_);
    model_ = new QStandardItemModel(0, 6, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("Change"), QStringLiteral("Cable No."),
                                       QStringLiteral("Field"), QStringLiteral("Was"),
                                       QStringLiteral("Now"), QStringLiteral("Sheet")});
    table_ = named(new QTableView(this), "grdChanges");
    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(false);
    for (int c : {3, 4}) table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
    table_->setColumnWidth(0, 110);
    table_->setColumnWidth(1, 90);
    table_->setColumnWidth(2, 130);
    table_->setColumnWidth(5, 110);
    layout->addWidget(table_, 1);
    auto* buttons = new QHBoxLayout;
    pdf_ = named(new QPushButton(QStringLiteral("Export &PDF..."), this), "cmdExportPDF");
    excel_ = named(new QPushButton(QStringLiteral("Export &Excel..."), this), "cmdExportExcel");
    cloud_ = named(new QPushButton(QStringLiteral("Cloud on &Sheets"), this), "cmdCloud");
    cloud_->setToolTip(QStringLiteral("Cloud the added and changed cables on the open drawings"));
    auto* close = named(new QPushButton(QStringLiteral("&Close"), this), "cmdClose");
    buttons->addWidget(pdf_);
    buttons->addWidget(excel_);
    buttons->addWidget(cloud_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(go, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "CompareRevisions.Compare", [this] { compare(); }); });
    connect(pdf_, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "CompareRevisions.ExportPDF",
                   [this] { exportAs(int(reports::ExportFormat::Pdf)); });
    });
    connect(excel_, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "CompareRevisions.ExportExcel",
                   [this] { exportAs(int(reports::ExportFormat::Excel)); });
    });
    connect(cloud_, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "CompareRevisions.Cloud", [this] { cloud(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

bool CompareRevisionsWindow::load() {
    const QList<db::RevisionRecord> issued = db::RevisionTable(registry_).issued();
    if (issued.isEmpty()) {
        ui_.message(QStringLiteral("No revision of the cable schedule has been issued yet: issue "
                                   "one first (Project > Issue Revision...)."),
                    MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    for (const db::RevisionRecord& r : issued) {
        QString text = wiring::sideName(r.revision);
        if (r.date.isValid())
            text += QStringLiteral("  (%1)").arg(r.date.date().toString(Qt::ISODate));
        if (!r.description.isEmpty()) text += QStringLiteral("  ") + r.description;
        fromBox_->addItem(text, r.revision);
        toBox_->addItem(text, r.revision);
    }
    toBox_->addItem(wiring::sideName(std::nullopt), kNow);
    // The latest issue against the cables as they are now: what has changed since.
    fromBox_->setCurrentIndex(fromBox_->count() - 1);
    toBox_->setCurrentIndex(toBox_->count() - 1);
    compare();
    return true;
}

std::optional<qint64> CompareRevisionsWindow::side(const QComboBox* box) const {
    const qint64 v = box->currentData().toLongLong();
    if (v == kNow) return std::nullopt;
    return v;
}

QString CompareRevisionsWindow::compared() const {
    return QStringLiteral("%1 to %2").arg(wiring::sideName(from_), wiring::sideName(to_));
}

void CompareRevisionsWindow::compare() {
    from_ = side(fromBox_);
    to_ = side(toBox_);
    lines_ = wiring::Revisions(registry_).compare(from_, to_);
    model_->removeRows(0, model_->rowCount());
    model_->setRowCount(int(lines_.size()));
    // Of the cables, then of the cores: added, removed, and the numbers changed.
    struct Count {
        int added = 0, removed = 0;
        QSet<QString> changed;
    } cables, cores;
    for (int row = 0; row < lines_.size(); ++row) {
        const db::CableChangeLine& l = lines_[row];
        const QString values[] = {l.change,   l.cableNumber, l.field,
                                  l.oldValue, l.newValue,    l.sheet};
        for (int c = 0; c < 6; ++c) model_->setItem(row, c, new QStandardItem(values[c]));
        const bool core = l.change.startsWith(QLatin1String("Core"));
        Count& count = core ? cores : cables;
        if (l.change == QLatin1String("Added") || l.change == wiring::kCoreAdded)
            ++count.added;
        else if (l.change == QLatin1String("Removed") || l.change == wiring::kCoreRemoved)
            ++count.removed;
        else
            count.changed.insert(l.cableNumber);
    }
    const auto told = [](const Count& c, const char* one, const char* many) {
        return QStringLiteral("%1 added, %2 removed, %3 changed")
            .arg(counted(c.added, one, many), QString::number(c.removed),
                 QString::number(c.changed.size()));
    };
    QString summary = lines_.isEmpty() ? QStringLiteral("%1: no cable differs").arg(compared())
                                       : QStringLiteral("%1: %2").arg(
                                             compared(), told(cables, "cable", "cables"));
    if (cores.added + cores.removed + cores.changed.size() > 0)
        summary += QStringLiteral("; ") + told(cores, "core", "cores");
    summary_->setText(summary + QLatin1Char('.'));
    for (QPushButton* b : {pdf_, excel_}) b->setEnabled(!lines_.isEmpty());
    cloud_->setEnabled(cables.added + cables.changed.size() + cores.added + cores.changed.size() >
                           0 &&
                       bool(services_.cloud));
}

void CompareRevisionsWindow::exportAs(int format) {
    reports::exportCableChanges(ui_, services_.appFolder, services_.projectFolder, registry_,
                                services_.comparedBy, compared(), lines_,
                                reports::ExportFormat(format));
}

void CompareRevisionsWindow::cloud() {
    const QSet<qint64> ids = wiring::Revisions(registry_).touchedCables(from_, to_);
    // The label names the side the clouds show: the revision the changes lead to.
    const QString label = to_ ? QStringLiteral("REV %1").arg(*to_)
                              : QStringLiteral("REV %1").arg(wiring::Revisions(registry_).next());
    const int clouded = services_.cloud(ids, label);
    ui_.message(clouded == 0 ? QStringLiteral("None of the changed cables is on an open drawing, "
                                              "or each is clouded already.")
                             : QStringLiteral("%1 clouded on the open drawings.")
                                   .arg(counted(clouded, "cable", "cables")),
                MsgButtons::Ok, MsgIcon::Information);
}

}  // namespace tolvane
