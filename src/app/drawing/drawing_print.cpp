#include "app/drawing/drawing_print.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/drawing/choice_dialogs.h"
#include "app/shell/widget_helpers.h"
#include "drawings/drawing.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

const QList<QPageSize::PageSizeId> kPapers = {
    QPageSize::A4, QPageSize::A3,     QPageSize::A2,    QPageSize::A1,
    QPageSize::A0, QPageSize::Letter, QPageSize::Legal, QPageSize::Tabloid};

}  // namespace

bool printDrawing(QPrinter& printer, const Drawing& drawing, const PageSetup& setup,
                  const cad::BBox& display) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    cad::PlotSettings plot;
    if (setup.display) plot.window = display;
    if (setup.scale > 0)
        plot.scale = cad::millimetresPerUnit(drawing.document().units()) / setup.scale;
    cad::renderPage(painter, printer.pageRect(QPrinter::DevicePixel).size(), printer.resolution(),
                    drawing.document(), drawing.space(), plot);
    return painter.end();
}

PageSetupWindow::PageSetupWindow(Ui& ui, const PageSetup& setup, QWidget* parent)
    : QDialog(parent), ui_(ui), setup_(setup) {
    setObjectName(QStringLiteral("frmPageSetup"));
    setWindowTitle(tr("Page Setup"));
    paper_ = named(new QComboBox, "cboPaper");
    for (QPageSize::PageSizeId id : kPapers) paper_->addItem(QPageSize::name(id));
    paper_->setCurrentIndex(std::max(0, int(kPapers.indexOf(setup.layout.pageSize().id()))));
    portrait_ = named(new QRadioButton(tr("Portrait")), "optPortrait");
    landscape_ = named(new QRadioButton(tr("Landscape")), "optLandscape");
    (setup.layout.orientation() == QPageLayout::Portrait ? portrait_ : landscape_)
        ->setChecked(true);
    margin_ = named(new QLineEdit(QString::number(setup.layout.margins().left())), "txtMargin");
    extents_ = named(new QRadioButton(tr("Extents")), "optExtents");
    display_ = named(new QRadioButton(tr("Display")), "optDisplay");
    (setup.display ? display_ : extents_)->setChecked(true);
    fit_ = named(new QRadioButton(tr("Fit to paper")), "optFit");
    scaled_ = named(new QRadioButton(tr("Scale 1 :")), "optScale");
    scale_ =
        named(new QLineEdit(setup.scale > 0 ? QString::number(setup.scale) : QStringLiteral("1")),
              "txtScale");
    (setup.scale > 0 ? scaled_ : fit_)->setChecked(true);
    // Three separate choices, each its own group.
    for (auto pair : {std::pair{portrait_, landscape_}, std::pair{extents_, display_},
                      std::pair{fit_, scaled_}}) {
        auto* group = new QButtonGroup(this);
        group->addButton(pair.first);
        group->addButton(pair.second);
    }
    const auto row = [](QWidget* a, QWidget* b, QWidget* c = nullptr) {
        auto* l = new QHBoxLayout;
        l->addWidget(a);
        l->addWidget(b);
        if (c) l->addWidget(c);
        l->addStretch(1);
        return l;
    };
    auto* form = new QFormLayout;
    form->addRow(tr("Paper:"), paper_);
    form->addRow(tr("Orientation:"), row(portrait_, landscape_));
    form->addRow(tr("Margins (mm):"), margin_);
    form->addRow(tr("Print area:"), row(extents_, display_));
    form->addRow(tr("Scale:"), row(fit_, scaled_, scale_));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(okCancel(this, [this] { ok(); }));
}

void PageSetupWindow::ok() {
    const QPageSize size(kPapers.value(paper_->currentIndex(), QPageSize::A4));
    const QSizeF mm = size.size(QPageSize::Millimeter);
    bool ok = false;
    const double margin = margin_->text().trimmed().toDouble(&ok);
    const double most = std::floor(std::min(mm.width(), mm.height()) / 4);
    if (!ok || !(margin >= 0) || margin > most) {
        ui_.message(tr("The margin must be a number of millimetres from 0 to %1.").arg(most),
                    MsgButtons::Ok, MsgIcon::Warning);
        margin_->setFocus();
        return;
    }
    double scale = 0;
    if (scaled_->isChecked()) {
        scale = scale_->text().trimmed().toDouble(&ok);
        if (!ok || !(scale > 0) || !std::isfinite(scale)) {
            ui_.message(tr("The scale must be a number greater than 0 (1 prints full size)."),
                        MsgButtons::Ok, MsgIcon::Warning);
            scale_->setFocus();
            return;
        }
    }
    setup_.layout =
        QPageLayout(size, portrait_->isChecked() ? QPageLayout::Portrait : QPageLayout::Landscape,
                    QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
    setup_.display = display_->isChecked();
    setup_.scale = scale;
    accept();
}

}  // namespace tolvane
