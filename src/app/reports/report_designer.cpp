#include "app/reports/report_designer.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QSpinBox>

#include "app/reports/design_canvas.h"
#include "app/reports/designer_windows.h"
#include "app/shell/widget_helpers.h"
#include "reports/report_wizard.h"
#include "ui/ui.h"

namespace tolvane {

using namespace reports;
using reports::wizard::installedFamily;
using reports::wizard::ReportStyle;
using reports::wizard::reportStyles;
using reports::wizard::StyleFont;

namespace {

bool showsText(const Control& c) {
    return c.kind == ControlKind::Label || c.kind == ControlKind::Field ||
           c.kind == ControlKind::CheckBox || c.kind == ControlKind::PageNumber ||
           c.kind == ControlKind::Date || c.kind == ControlKind::RichText;
}
bool isOutlined(const Control& c) {
    return c.kind == ControlKind::Line || c.kind == ControlKind::Rectangle ||
           c.kind == ControlKind::Frame;
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

void ReportDesigner::setSpacing(Axis axis) {
    if (canvas_->selection().size() < 2) return;
    const std::optional<QString> answer = ui_.input(
        axis == Axis::Horizontal ? tr("Horizontal Spacing") : tr("Vertical Spacing"),
        tr("Space between the controls (twips):"), QString::number(canvas_->grid().spacing));
    if (!answer) return;
    bool ok = false;
    const int gap = answer->trimmed().toInt(&ok);
    if (!ok || gap < 0 || gap > 200 * kTwipsPerInch) {
        ui_.message(tr("Error: the spacing must be a number of twips from 0 to %1.")
                        .arg(200 * kTwipsPerInch),
                    MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    const Selection s = canvas_->selection();
    edit(tr("Spacing"), [&](ReportLayout& l) { reports::setSpacing(l, s, axis, gap); });
}

void ReportDesigner::spaceEvenly(Axis axis) {
    const Selection s = canvas_->selection();
    edit(tr("Equal Spacing"), [&](ReportLayout& l) { reports::spaceEvenly(l, s, axis); });
}

void ReportDesigner::changeSpacing(Axis axis, int steps) {
    const Selection s = canvas_->selection();
    const int step = steps * std::max(15, canvas_->grid().spacing);
    edit(tr("Spacing"), [&](ReportLayout& l) { reports::changeSpacing(l, s, axis, step); });
}

void ReportDesigner::sizeToGrid() {
    const Selection s = canvas_->selection();
    const DesignGrid grid = canvas_->grid();
    edit(tr("Size to Grid"), [&](ReportLayout& l) { reports::sizeToGrid(l, s, grid); });
}

void ReportDesigner::chooseAlignment() {
    const QStringList names{tr("Lefts"),   tr("Centers"), tr("Rights"),     tr("Tops"),
                            tr("Middles"), tr("Bottoms"), tr("To the Grid")};
    const std::optional<int> chosen = ui_.choose(tr("Align"), names);
    if (!chosen || *chosen < 0 || *chosen >= names.size()) return;
    if (*chosen == 6) return alignToGrid();
    if (canvas_->selection().size() < 2) return;
    align(AlignTo(*chosen));
}

void ReportDesigner::toggleBullets() {
    const Selection s = canvas_->selection();
    edit(tr("Bullets"), [&](ReportLayout& l) { reports::toggleBullets(l, s); });
}

void ReportDesigner::changeIndent(int steps) {
    const Selection s = canvas_->selection();
    edit(steps > 0 ? tr("Indent") : tr("Outdent"),
         [&](ReportLayout& l) { reports::changeIndent(l, s, steps); });
}

void ReportDesigner::chooseFontSize() {
    const Control* first = firstWith(true, false);
    if (!first) return;
    const std::optional<QString> answer =
        ui_.input(tr("Font Size"), tr("Size (points):"), QString::number(first->font.pointSize));
    if (!answer) return;
    bool ok = false;
    const double size = answer->trimmed().toDouble(&ok);
    if (!ok || !(size >= 1 && size <= 500)) {
        ui_.message(tr("Error: the font size must be a number from 1 to 500."), MsgButtons::Ok,
                    MsgIcon::Warning);
        return;
    }
    const Selection s = canvas_->selection();
    edit(tr("Font Size"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            if (showsText(c)) c.font.pointSize = size;
        });
    });
}

void ReportDesigner::chooseStyle() {
    if (!firstWith(true, false)) return;
    // The wizard's styles: their detail font, on this machine's closest family.
    QStringList names;
    for (const ReportStyle& style : reportStyles()) names << style.name;
    const std::optional<int> chosen = ui_.choose(tr("Style"), names);
    if (!chosen || *chosen < 0 || *chosen >= names.size()) return;
    const StyleFont& f = reportStyles()[*chosen].detail;
    const ReportFont font{installedFamily(f.family), f.size, f.bold, f.italic, false};
    const Selection s = canvas_->selection();
    edit(tr("Style"), [&](ReportLayout& l) {
        changeControls(l, s, [&](Control& c) {
            if (showsText(c)) c.font = font;
        });
    });
}

void ReportDesigner::chooseSummary() {
    const Selection s = canvas_->selection();
    const Control* field = nullptr;
    ControlRef at;
    for (const ControlRef& r : s)
        if (const Control* c = controlAt(doc_.layout(), r); c && c->kind == ControlKind::Field) {
            field = c;
            at = r;
            break;
        }
    if (!field) return;
    if (at.section.kind != SectionKind::GroupFooter &&
        at.section.kind != SectionKind::ReportFooter) {
        ui_.message(tr("A total is shown in a group footer or the report footer: move the field "
                       "there first."),
                    MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const std::optional<int> chosen =
        ui_.choose(tr("Summary"), {tr("None (the value)"), tr("Sum"), tr("Count")});
    if (!chosen || *chosen < 0 || *chosen > 2) return;
    edit(tr("Summary"), [&](ReportLayout& l) { controlAt(l, at)->summary = Summary(*chosen); });
}

void ReportDesigner::editExpression() {
    const Selection s = canvas_->selection();
    if (s.size() != 1) return;
    const Control* c = controlAt(doc_.layout(), s.first());
    if (!c) return;
    const bool bound = c->kind == ControlKind::Field || c->kind == ControlKind::CheckBox ||
                       c->kind == ControlKind::Barcode;
    const std::optional<QString> answer =
        ui_.input(tr("Expression"), bound ? tr("Data field:") : tr("Text:"), c->text);
    if (!answer || *answer == c->text) return;
    if (bound && answer->trimmed().isEmpty()) return;
    const QString text = bound ? answer->trimmed() : *answer;
    edit(tr("Expression"), [&](ReportLayout& l) { controlAt(l, s.first())->text = text; });
}

void ReportDesigner::propertyPage() {
    const Selection s = canvas_->selection();
    if (s.isEmpty()) return;
    const Control* c = controlAt(doc_.layout(), s.first());
    if (!c) return;
    PropertyPage page(*c, this);
    if (ui_.runModal(page) != QDialog::Accepted) return;
    Control changed = page.control();
    if (changed == *c) return;
    // A name another control has would make two controls one to the explorer and the files.
    if (changed.name != c->name && !changed.name.isEmpty())
        for (const SectionRef& ref : sectionsInOrder(doc_.layout()))
            for (const Control& other : reports::sectionAt(doc_.layout(), ref)->controls)
                if (other.name.compare(changed.name, Qt::CaseInsensitive) == 0) {
                    ui_.message(tr("Error: another control is named %1.").arg(changed.name),
                                MsgButtons::Ok, MsgIcon::Warning);
                    return;
                }
    if (changed.rect.width() < 0 && changed.kind != ControlKind::Line) changed.rect.setWidth(0);
    edit(tr("Properties"), [&](ReportLayout& l) { *controlAt(l, s.first()) = changed; });
}

void ReportDesigner::fieldList(const std::function<QStringList()>& fields) {
    const QStringList names = fields();
    if (names.isEmpty()) return;
    FieldListWindow window(names, this);
    if (ui_.runModal(window) != QDialog::Accepted || window.chosen().isEmpty()) return;
    const SectionRef target = canvas_->selection().isEmpty() ? SectionRef{SectionKind::Detail}
                                                             : canvas_->selection().first().section;
    Selection placed;
    const DesignGrid grid = canvas_->grid();
    const QStringList chosen = window.chosen();
    edit(tr("Add Fields"), [&](ReportLayout& l) { placed = placeFields(l, target, chosen, grid); });
    canvas_->setSelection(placed);
}

void ReportDesigner::sortingAndGrouping(const std::function<QStringList()>& fields) {
    SortingGroupingWindow window(doc_.layout().groups, doc_.layout().sorts, fields(), this);
    if (ui_.runModal(window) != QDialog::Accepted) return;
    const QList<Group> groups = window.groups();
    const QList<SortField> sorts = window.sorts();
    if (groups == doc_.layout().groups && sorts == doc_.layout().sorts) return;
    if (groups != doc_.layout().groups) canvas_->setSelection({});
    edit(tr("Sorting and Grouping"), [&](ReportLayout& l) {
        l.groups = groups;
        l.sorts = sorts;
    });
}

void ReportDesigner::reportExplorer() {
    ReportExplorer window(doc_.layout(), this);
    if (ui_.runModal(window) != QDialog::Accepted) return;
    if (const std::optional<ControlRef> chosen = window.chosen()) canvas_->setSelection({*chosen});
}

void ReportDesigner::chooseDatabase() {
    const QStringList keys{QStringLiteral("PROJECT_SPECIFIC"), QStringLiteral("EQUIPMENT"),
                           QStringLiteral("PM")};
    const std::optional<int> chosen = ui_.choose(tr("Databases"), keys);
    if (!chosen || *chosen < 0 || *chosen >= keys.size()) return;
    const QString key = keys[*chosen];
    if (doc_.layout().data && doc_.layout().data->databaseKey == key) return;
    edit(tr("Database"), [&](ReportLayout& l) {
        if (!l.data) l.data = DataControl{};
        l.data->databaseKey = key;
    });
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
    static const QStringList spacing{"catRHSpacing", "catRVSpacing", "catRHPlus", "catRHMinus",
                                     "catRVPlus",    "catRVMinus",   "catRAlign"};
    static const QStringList three{"catRHEqual", "catRVEqual"};
    static const QStringList rich{"catRBullets", "catRIndent", "catROutdent"};
    static const QStringList oneOf{"catRSize", "catRDims", "catRPropertyPage", "catRProperties",
                                   "catRPropertiesList"};
    if (spacing.contains(key)) return t.count >= 2;
    if (three.contains(key)) return t.count >= 3;
    if (rich.contains(key)) return t.richText;
    if (oneOf.contains(key)) return t.count >= 1;
    if (key == QLatin1String("catRExpression")) return t.count == 1;
    if (key == QLatin1String("catRFontSize") || key == QLatin1String("catRStyle")) return t.text;
    if (two.contains(key)) return t.count >= 2;
    if (one.contains(key)) return t.count >= 1;
    if (text.contains(key)) return t.text;
    if (outlined.contains(key)) return t.outlined;
    if (key == QLatin1String("catRUndo")) return doc_.undoStack().canUndo();
    if (key == QLatin1String("catRRedo")) return doc_.undoStack().canRedo();
    return std::nullopt;
}

}  // namespace tolvane
