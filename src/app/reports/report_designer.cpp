#include "app/reports/report_designer.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QSpinBox>

#include "app/reports/design_canvas.h"
#include "app/shell/widget_helpers.h"
#include "ui/ui.h"

namespace tolvane {

using namespace reports;

namespace {

bool showsText(const Control& c) {
    return c.kind == ControlKind::Label || c.kind == ControlKind::Field ||
           c.kind == ControlKind::CheckBox || c.kind == ControlKind::PageNumber ||
           c.kind == ControlKind::Date;
}
bool isOutlined(const Control& c) {
    return c.kind == ControlKind::Line || c.kind == ControlKind::Rectangle;
}

const QStringList kLineStyleNames{QStringLiteral("Solid"), QStringLiteral("Dash"),
                                  QStringLiteral("Dot"), QStringLiteral("Dash Dot")};

}  // namespace

ReportDesigner::ReportDesigner(LayoutDocument& document, Ui& ui, QWidget* parent)
    : QScrollArea(parent), doc_(document), ui_(ui) {
    setObjectName(QStringLiteral("fraDesign"));
    canvas_ = new DesignCanvas(document, this);
    setWidget(canvas_);
    setBackgroundRole(QPalette::Mid);
    connect(canvas_, &DesignCanvas::selectionChanged, this, &ReportDesigner::commandsChanged);
    connect(canvas_, &DesignCanvas::placed, this, &ReportDesigner::commandsChanged);
    connect(&doc_.undoStack(), &QUndoStack::indexChanged, this, &ReportDesigner::commandsChanged);
}

void ReportDesigner::edit(const QString& text, const std::function<void(ReportLayout&)>& change) {
    doc_.edit(text, change);
}

void ReportDesigner::setTool(std::optional<ControlKind> tool) {
    canvas_->setTool(tool);
    canvas_->setCursor(tool ? Qt::CrossCursor : Qt::ArrowCursor);
}

void ReportDesigner::align(AlignTo to) {
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Align"), [&](ReportLayout& l) { alignControls(l, s, to); });
}

void ReportDesigner::makeSameSize(SameSize what) {
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Make Same Size"),
         [&](ReportLayout& l) { reports::makeSameSize(l, s, what); });
}

void ReportDesigner::alignToGrid() {
    const Selection s = canvas_->selection();
    const DesignGrid grid = canvas_->grid();
    edit(QStringLiteral("Align to Grid"),
         [&](ReportLayout& l) { reports::alignToGrid(l, s, grid); });
}

void ReportDesigner::bringToFront() {
    Selection moved;
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Bring to Front"),
         [&](ReportLayout& l) { moved = reports::bringToFront(l, s); });
    canvas_->setSelection(moved);
}

void ReportDesigner::sendToBack() {
    Selection moved;
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Send to Back"),
         [&](ReportLayout& l) { moved = reports::sendToBack(l, s); });
    canvas_->setSelection(moved);
}

void ReportDesigner::deleteSelection() {
    const Selection s = canvas_->selection();
    canvas_->setSelection({});
    edit(QStringLiteral("Delete"), [&](ReportLayout& l) { deleteControls(l, s); });
}

void ReportDesigner::toggleLock() {
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Lock Controls"), [&](ReportLayout& l) { reports::toggleLock(l, s); });
    canvas_->update();
    Q_EMIT commandsChanged();
}

const Control* ReportDesigner::firstWith(bool text, bool outlined) const {
    for (const ControlRef& r : canvas_->selection()) {
        const Control* c = controlAt(doc_.layout(), r);
        if (c && ((text && showsText(*c)) || (outlined && isOutlined(*c)))) return c;
    }
    return nullptr;
}

void ReportDesigner::toggleFontStyle(FontStyle style) {
    const Control* first = firstWith(true, false);
    if (!first) return;
    const auto flag = [style](ReportFont& f) -> bool& {
        return style == FontStyle::Bold     ? f.bold
               : style == FontStyle::Italic ? f.italic
                                            : f.underline;
    };
    ReportFont probe = first->font;
    const bool on = !flag(probe);
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Font Style"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            if (showsText(c)) flag(c.font) = on;
        });
    });
}

void ReportDesigner::setTextAlignment(HAlign align) {
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Text Alignment"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            if (showsText(c)) c.align = align;
        });
    });
}

void ReportDesigner::chooseFont() {
    const Control* first = firstWith(true, false);
    if (!first) return;
    QFont start(first->font.family);
    start.setPointSizeF(first->font.pointSize);
    start.setBold(first->font.bold);
    start.setItalic(first->font.italic);
    start.setUnderline(first->font.underline);
    QFontDialog dialog(start, this);
    dialog.setObjectName(QStringLiteral("dlgFont"));
    if (ui_.runModal(dialog) != QDialog::Accepted) return;
    const QFont f = dialog.selectedFont();
    const ReportFont chosen{f.family(), f.pointSizeF() > 0 ? f.pointSizeF() : 10, f.bold(),
                            f.italic(), f.underline()};
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Font"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            if (showsText(c)) c.font = chosen;
        });
    });
}

void ReportDesigner::chooseColour(Colour which) {
    const Control* first = which == Colour::Line
                               ? firstWith(false, true)
                               : controlAt(doc_.layout(), canvas_->selection().value(0));
    if (!first) return;
    QColorDialog dialog(
        which == Colour::Back && first->backColor.isValid() ? first->backColor : first->foreColor,
        this);
    dialog.setObjectName(QStringLiteral("dlgColour"));
    if (ui_.runModal(dialog) != QDialog::Accepted) return;
    const QColor colour = dialog.selectedColor();
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Colour"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            // Lines and outlines take their colour from the fore colour.
            if (which == Colour::Back)
                c.backColor = colour;
            else if (which == Colour::Fore || isOutlined(c))
                c.foreColor = colour;
        });
    });
}

void ReportDesigner::chooseLineStyle() {
    if (!firstWith(false, true)) return;
    const std::optional<int> chosen = ui_.choose(QStringLiteral("Line Style"), kLineStyleNames);
    if (!chosen || *chosen < 0 || *chosen >= kLineStyleNames.size()) return;
    const auto style = LineStyle(*chosen);
    const Selection s = canvas_->selection();
    edit(QStringLiteral("Line Style"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            if (isOutlined(c)) c.lineStyle = style;
        });
    });
}

void ReportDesigner::gridSettings() {
    DesignGrid& grid = canvas_->grid();
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmGridSettings"));
    dialog.setWindowTitle(tr("Grid Settings"));
    auto* spacing = named(new QSpinBox, "txtGridSpacing");
    spacing->setRange(15, 1440);
    spacing->setSuffix(tr(" twips"));
    spacing->setValue(grid.spacing);
    auto* snap = named(new QCheckBox(tr("Snap to grid")), "chkSnapToGrid");
    snap->setChecked(grid.snap);
    auto* show = named(new QCheckBox(tr("Show grid")), "chkShowGrid");
    show->setChecked(grid.visible);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(namedButton("cmdOK", tr("OK")), QDialogButtonBox::AcceptRole);
    buttons->addButton(namedButton("cmdCancel", tr("Cancel")), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(tr("Spacing:"), spacing);
    form->addRow(snap);
    form->addRow(show);
    form->addRow(buttons);
    if (ui_.runModal(dialog) != QDialog::Accepted) return;
    grid.spacing = spacing->value();
    grid.snap = snap->isChecked();
    grid.visible = show->isChecked();
    canvas_->update();
}

QList<Control> ReportDesigner::copySelection() const {
    QList<Control> out;
    for (const ControlRef& r : canvas_->selection())
        if (const Control* c = controlAt(doc_.layout(), r)) out << *c;
    return out;
}

void ReportDesigner::paste(const QList<Control>& controls) {
    if (controls.isEmpty()) return;
    // Into the section of the selection, else the detail; offset so the copies show.
    const SectionRef target = canvas_->selection().isEmpty() ? SectionRef{SectionKind::Detail}
                                                             : canvas_->selection().first().section;
    Selection added;
    const DesignGrid grid = canvas_->grid();
    edit(QStringLiteral("Paste"), [&](ReportLayout& l) {
        for (Control c : controls) {
            c.name.clear();
            c.locked = false;
            c.rect.translate(grid.spacing, grid.spacing);
            added << addControl(l, target, c, grid);
        }
    });
    canvas_->setSelection(added);
}

std::optional<bool> ReportDesigner::enabled(const QString& key) const {
    const SelectionTraits t = traitsOf(doc_.layout(), canvas_->selection());
    static const QStringList two{"catRAlignLefts", "catRAlignRights",  "catRAlignCenters",
                                 "catRAlignTops",  "catRAlignMiddles", "catRAlignBottoms",
                                 "catRMakeWidth",  "catRMakeHeight",   "catRMakeBoth"};
    static const QStringList one{
        "catRAligntoGrid", "catRBringToFront", "catRSendToBack", "catRDelete",     "catRCut",
        "catRCopy",        "catRLockControls", "catRForeColor",  "catRFrontColor", "catRBackColor"};
    static const QStringList text{"catRFontDialog",  "catRFont",      "catRBold",
                                  "catRItalic",      "catRUnderline", "catRAlignLeft",
                                  "catRAlignCenter", "catRAlignRight"};
    static const QStringList outlined{"catRLineStyle", "catRLineColor"};
    if (two.contains(key)) return t.count >= 2;
    if (one.contains(key)) return t.count >= 1;
    if (text.contains(key)) return t.text;
    if (outlined.contains(key)) return t.outlined;
    if (key == QLatin1String("catRUndo")) return doc_.undoStack().canUndo();
    if (key == QLatin1String("catRRedo")) return doc_.undoStack().canRedo();
    return std::nullopt;
}

}  // namespace tolvane
