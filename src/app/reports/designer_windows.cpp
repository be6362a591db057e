#include "app/reports/designer_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "reports/barcode.h"

namespace tolvane {

using namespace reports;

namespace {

constexpr int kMaxTwips = 200 * kTwipsPerInch;

QDialogButtonBox* okCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(namedButton("cmdOK", QObject::tr("OK")), QDialogButtonBox::AcceptRole);
    buttons->addButton(namedButton("cmdCancel", QObject::tr("Cancel")),
                       QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QSpinBox* twips(const char* name, int value, bool signedLength) {
    auto* box = named(new QSpinBox, name);
    box->setRange(signedLength ? -kMaxTwips : 0, kMaxTwips);
    box->setSuffix(QObject::tr(" twips"));
    box->setValue(value);
    return box;
}

QString kindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return QObject::tr("Label");
        case ControlKind::Field:
            return QObject::tr("Field");
        case ControlKind::CheckBox:
            return QObject::tr("Check Box");
        case ControlKind::Line:
            return QObject::tr("Line");
        case ControlKind::Rectangle:
            return QObject::tr("Box");
        case ControlKind::Picture:
            return QObject::tr("Picture");
        case ControlKind::PageNumber:
            return QObject::tr("Page Number");
        case ControlKind::Date:
            return QObject::tr("Date");
        case ControlKind::RichText:
            return QObject::tr("Rich Text");
        case ControlKind::Frame:
            return QObject::tr("Frame");
        case ControlKind::SubReport:
            return QObject::tr("Subreport");
        case ControlKind::PageBreak:
            return QObject::tr("Page Break");
        case ControlKind::Barcode:
            return QObject::tr("Barcode");
    }
    return {};
}

// What the text box of a kind holds.
QString textCaption(ControlKind kind) {
    switch (kind) {
        case ControlKind::Field:
        case ControlKind::CheckBox:
        case ControlKind::Barcode:
            return QObject::tr("Data field:");
        case ControlKind::RichText:
            return QObject::tr("Text (HTML):");
        case ControlKind::SubReport:
            return QObject::tr("Report file:");
        case ControlKind::PageNumber:
            return QObject::tr("Text ({page}, {pages}):");
        default:
            return QObject::tr("Caption:");
    }
}

QString sectionCaption(const ReportLayout& layout, const SectionRef& ref) {
    switch (ref.kind) {
        case SectionKind::ReportHeader:
            return QObject::tr("Report Header");
        case SectionKind::PageHeader:
            return QObject::tr("Page Header");
        case SectionKind::GroupHeader:
            return QObject::tr("Group Header: %1").arg(layout.groups.value(ref.group).field);
        case SectionKind::Detail:
            return QObject::tr("Detail");
        case SectionKind::GroupFooter:
            return QObject::tr("Group Footer: %1").arg(layout.groups.value(ref.group).field);
        case SectionKind::PageFooter:
            return QObject::tr("Page Footer");
        case SectionKind::ReportFooter:
            return QObject::tr("Report Footer");
    }
    return {};
}

}  // namespace

PropertyPage::PropertyPage(const Control& control, QWidget* parent)
    : QDialog(parent), original_(control) {
    setObjectName(QStringLiteral("frmPropertyPage"));
    setWindowTitle(
        tr("Properties: %1").arg(control.name.isEmpty() ? kindName(control.kind) : control.name));
    auto* form = new QFormLayout(this);
    form->addRow(tr("Kind:"), new QLabel(kindName(control.kind)));
    name_ = named(new QLineEdit(control.name), "txtName");
    form->addRow(tr("Name:"), name_);
    const bool line = control.kind == ControlKind::Line;
    left_ = twips("txtLeft", control.rect.left(), false);
    top_ = twips("txtTop", control.rect.top(), false);
    width_ = twips("txtWidth", control.rect.width(), line);
    height_ = twips("txtHeight", control.rect.height(), line);
    form->addRow(tr("Left:"), left_);
    form->addRow(tr("Top:"), top_);
    form->addRow(tr("Width:"), width_);
    form->addRow(tr("Height:"), height_);
    text_ = named(new QPlainTextEdit(control.text), "txtText");
    text_->setTabChangesFocus(true);
    text_->setFixedHeight(control.kind == ControlKind::RichText ? 120 : 48);
    form->addRow(textCaption(control.kind), text_);
    format_ = named(new QLineEdit(control.format), "txtFormat");
    form->addRow(
        control.kind == ControlKind::SubReport ? tr("Link (child=parent):") : tr("Output format:"),
        format_);
    align_ = named(new QComboBox, "cboAlign");
    align_->addItems({tr("Left"), tr("Center"), tr("Right")});
    align_->setCurrentIndex(int(control.align));
    form->addRow(tr("Alignment:"), align_);
    if (control.kind == ControlKind::Barcode) {
        symbology_ = named(new QComboBox, "cboSymbology");
        symbology_->addItems({tr("Code 128"), tr("QR Code"), tr("Data Matrix")});
        symbology_->setCurrentIndex(int(control.symbology));
        form->addRow(tr("Symbology:"), symbology_);
    }
    if (control.kind == ControlKind::RichText) {
        bullets_ = named(new QCheckBox(tr("Bullets")), "chkBullets");
        bullets_->setChecked(control.bullets);
        form->addRow(bullets_);
        indent_ = named(new QSpinBox, "txtIndent");
        indent_->setRange(0, kMaxIndent);
        indent_->setValue(control.indent);
        form->addRow(tr("Indent (steps):"), indent_);
    }
    if (control.kind == ControlKind::Field) {
        summary_ = named(new QComboBox, "cboSummary");
        summary_->addItems({tr("None"), tr("Sum"), tr("Count")});
        summary_->setCurrentIndex(int(control.summary));
        form->addRow(tr("Total (footers):"), summary_);
    }
    canGrow_ = named(new QCheckBox(tr("Can grow")), "chkCanGrow");
    canGrow_->setChecked(control.canGrow);
    form->addRow(canGrow_);
    locked_ = named(new QCheckBox(tr("Locked")), "chkLocked");
    locked_->setChecked(control.locked);
    form->addRow(locked_);
    form->addRow(okCancel(this));
}

Control PropertyPage::control() const {
    Control c = original_;
    c.name = name_->text().trimmed();
    c.rect = QRect(left_->value(), top_->value(), width_->value(), height_->value());
    c.text = text_->toPlainText();
    c.format = format_->text();
    c.align = HAlign(align_->currentIndex());
    if (symbology_) c.symbology = Symbology(symbology_->currentIndex());
    if (bullets_) c.bullets = bullets_->isChecked();
    if (indent_) c.indent = indent_->value();
    if (summary_) c.summary = Summary(summary_->currentIndex());
    c.canGrow = canGrow_->isChecked();
    c.locked = locked_->isChecked();
    return c;
}

FieldListWindow::FieldListWindow(const QStringList& fields, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmFieldList"));
    setWindowTitle(tr("Field List"));
    auto* box = new QVBoxLayout(this);
    box->addWidget(new QLabel(tr("Fields of the report's query:")));
    list_ = named(new QListWidget, "lstFields");
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->addItems(fields);
    box->addWidget(list_);
    auto* buttons = okCancel(this);
    for (QAbstractButton* b : buttons->buttons())
        if (b->objectName() == QLatin1String("cmdOK")) b->setText(tr("Add"));
    box->addWidget(buttons);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

QStringList FieldListWindow::chosen() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->isSelected()) out << list_->item(i)->text();
    return out;
}

SortingGroupingWindow::SortingGroupingWindow(const QList<Group>& groups,
                                             const QList<SortField>& sorts,
                                             const QStringList& fields, QWidget* parent)
    : QDialog(parent), groups_(groups), sorts_(sorts) {
    setObjectName(QStringLiteral("frmSortingGrouping"));
    setWindowTitle(tr("Sorting and Grouping"));
    auto* box = new QVBoxLayout(this);
    auto* note =
        new QLabel(tr("Group levels, outermost first. A group starts again at each "
                      "change of its field's value, so the rows come ordered by the group "
                      "fields first: by the report's query, or by the sort fields below."));
    note->setWordWrap(true);
    box->addWidget(note);
    auto* row = new QHBoxLayout;
    list_ = named(new QListWidget, "lstGroups");
    row->addWidget(list_, 1);
    auto* side = new QVBoxLayout;
    auto* add = namedButton("cmdAddGroup", tr("Add"));
    auto* remove = namedButton("cmdRemoveGroup", tr("Remove"));
    auto* up = namedButton("cmdMoveUp", tr("Move Up"));
    auto* down = namedButton("cmdMoveDown", tr("Move Down"));
    for (QPushButton* b : {add, remove, up, down}) side->addWidget(b);
    side->addStretch();
    row->addLayout(side);
    box->addLayout(row);
    auto* form = new QFormLayout;
    field_ = named(new QComboBox, "cboGroupField");
    field_->setEditable(true);
    field_->addItems(fields);
    form->addRow(tr("Group on:"), field_);
    repeat_ = named(new QCheckBox(tr("Repeat the header on every page")), "chkRepeatHeader");
    form->addRow(repeat_);
    box->addLayout(form);

    auto* sortNote =
        new QLabel(tr("Sort fields, first the one that decides: the rows' order "
                      "within the groups. With any, the report reads its rows "
                      "ordered by the group fields and then by these."));
    sortNote->setWordWrap(true);
    box->addSpacing(8);
    box->addWidget(sortNote);
    auto* sortRow = new QHBoxLayout;
    sortList_ = named(new QListWidget, "lstSortFields");
    sortRow->addWidget(sortList_, 1);
    auto* sortSide = new QVBoxLayout;
    auto* addSort = namedButton("cmdAddSort", tr("Add"));
    auto* removeSort = namedButton("cmdRemoveSort", tr("Remove"));
    auto* sortUp = namedButton("cmdSortUp", tr("Move Up"));
    auto* sortDown = namedButton("cmdSortDown", tr("Move Down"));
    for (QPushButton* b : {addSort, removeSort, sortUp, sortDown}) sortSide->addWidget(b);
    sortSide->addStretch();
    sortRow->addLayout(sortSide);
    box->addLayout(sortRow);
    auto* sortForm = new QFormLayout;
    // Sort fields are columns of the query: chosen from them, never typed.
    sortField_ = named(new QComboBox, "cboSortField");
    sortField_->addItems(fields);
    for (const SortField& f : sorts_)
        if (sortField_->findText(f.field) < 0) sortField_->addItem(f.field);
    sortForm->addRow(tr("Sort on:"), sortField_);
    sortOrder_ = named(new QComboBox, "cboSortOrder");
    sortOrder_->addItems({tr("Ascending"), tr("Descending")});
    sortForm->addRow(tr("Order:"), sortOrder_);
    box->addLayout(sortForm);
    addSort->setEnabled(sortField_->count() > 0);
    box->addWidget(okCancel(this));

    const auto current = [this] { return list_->currentRow(); };
    connect(add, &QPushButton::clicked, this, [this, fields] {
        Group g{fields.value(0, QStringLiteral("Field"))};
        g.header.height = 400;
        g.footer.height = 0;
        groups_ << g;
        refresh(int(groups_.size()) - 1);
    });
    connect(remove, &QPushButton::clicked, this, [this, current] {
        const int i = current();
        if (i < 0) return;
        groups_.removeAt(i);
        refresh(std::min(i, int(groups_.size()) - 1));
    });
    const auto move = [this, current](int by) {
        const int i = current(), j = i + by;
        if (i < 0 || j < 0 || j >= groups_.size()) return;
        groups_.swapItemsAt(i, j);
        refresh(j);
    };
    connect(up, &QPushButton::clicked, this, [move] { move(-1); });
    connect(down, &QPushButton::clicked, this, [move] { move(1); });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int i) {
        const bool on = i >= 0 && i < groups_.size();
        field_->setEnabled(on);
        repeat_->setEnabled(on);
        if (!on) return;
        const QSignalBlocker a(field_), b(repeat_);
        field_->setCurrentText(groups_[i].field);
        repeat_->setChecked(groups_[i].header.repeat);
    });
    connect(field_, &QComboBox::currentTextChanged, this, [this, current](const QString& text) {
        const int i = current();
        if (i < 0 || text.trimmed().isEmpty()) return;
        groups_[i].field = text.trimmed();
        list_->item(i)->setText(groups_[i].field);
    });
    connect(repeat_, &QCheckBox::toggled, this, [this, current](bool on) {
        if (const int i = current(); i >= 0) groups_[i].header.repeat = on;
    });
    refresh(groups_.isEmpty() ? -1 : 0);

    const auto currentSort = [this] { return sortList_->currentRow(); };
    connect(addSort, &QPushButton::clicked, this, [this, fields] {
        sorts_ << SortField{{}, fields.value(0), false};
        refreshSorts(int(sorts_.size()) - 1);
    });
    connect(removeSort, &QPushButton::clicked, this, [this, currentSort] {
        const int i = currentSort();
        if (i < 0) return;
        sorts_.removeAt(i);
        refreshSorts(std::min(i, int(sorts_.size()) - 1));
    });
    const auto moveSort = [this, currentSort](int by) {
        const int i = currentSort(), j = i + by;
        if (i < 0 || j < 0 || j >= sorts_.size()) return;
        sorts_.swapItemsAt(i, j);
        refreshSorts(j);
    };
    connect(sortUp, &QPushButton::clicked, this, [moveSort] { moveSort(-1); });
    connect(sortDown, &QPushButton::clicked, this, [moveSort] { moveSort(1); });
    connect(sortList_, &QListWidget::currentRowChanged, this, [this](int i) {
        const bool on = i >= 0 && i < sorts_.size();
        sortField_->setEnabled(on);
        sortOrder_->setEnabled(on);
        if (!on) return;
        const QSignalBlocker a(sortField_), b(sortOrder_);
        sortField_->setCurrentText(sorts_[i].field);
        sortOrder_->setCurrentIndex(sorts_[i].descending ? 1 : 0);
    });
    connect(sortField_, &QComboBox::currentTextChanged, this,
            [this, currentSort](const QString& text) {
                const int i = currentSort();
                if (i < 0 || text.isEmpty()) return;
                sorts_[i].field = text;
                sortList_->item(i)->setText(sortText(sorts_[i]));
            });
    connect(sortOrder_, &QComboBox::currentIndexChanged, this, [this, currentSort](int order) {
        const int i = currentSort();
        if (i < 0 || order < 0) return;
        sorts_[i].descending = order == 1;
        sortList_->item(i)->setText(sortText(sorts_[i]));
    });
    refreshSorts(sorts_.isEmpty() ? -1 : 0);
}

void SortingGroupingWindow::refresh(int select) {
    list_->clear();
    for (const Group& g : groups_) list_->addItem(g.field);
    list_->setCurrentRow(select);
    field_->setEnabled(select >= 0);
    repeat_->setEnabled(select >= 0);
}

QString SortingGroupingWindow::sortText(const SortField& sort) {
    return sort.field + (sort.descending ? tr(" (descending)") : tr(" (ascending)"));
}

void SortingGroupingWindow::refreshSorts(int select) {
    {
        const QSignalBlocker quiet(sortList_);
        sortList_->clear();
        for (const SortField& f : sorts_) sortList_->addItem(sortText(f));
    }
    sortList_->setCurrentRow(select);
    Q_EMIT sortList_->currentRowChanged(select);
}

ReportExplorer::ReportExplorer(const ReportLayout& layout, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmReportExplorer"));
    setWindowTitle(tr("Report Explorer"));
    auto* box = new QVBoxLayout(this);
    tree_ = named(new QTreeWidget, "tvwReport");
    tree_->setHeaderLabels({tr("Section / Control"), tr("Kind"), tr("Shows")});
    if (layout.data) {
        auto* data =
            new QTreeWidgetItem(tree_, {layout.data->name, tr("Data"), layout.data->databaseKey});
        data->setToolTip(2, layout.data->sql);
    }
    for (const SectionRef& ref : sectionsInOrder(layout)) {
        const Section& s = *sectionAt(layout, ref);
        auto* section = new QTreeWidgetItem(
            tree_, {sectionCaption(layout, ref), tr("Section"), tr("%1 twips").arg(s.height)});
        for (int i = 0; i < s.controls.size(); ++i) {
            const Control& c = s.controls[i];
            auto* item = new QTreeWidgetItem(
                section, {c.name.isEmpty() ? QStringLiteral("(%1)").arg(i + 1) : c.name,
                          kindName(c.kind), c.text.left(60)});
            item->setData(0, Qt::UserRole, QVariantList{int(ref.kind), ref.group, i});
        }
        section->setExpanded(true);
    }
    tree_->resizeColumnToContents(0);
    box->addWidget(tree_);
    box->addWidget(okCancel(this));
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, Qt::UserRole).isValid()) accept();
    });
    resize(520, 420);
}

std::optional<ControlRef> ReportExplorer::chosen() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    if (!item) return std::nullopt;
    const QVariantList at = item->data(0, Qt::UserRole).toList();
    if (at.size() != 3) return std::nullopt;
    return ControlRef{SectionRef{SectionKind(at[0].toInt()), at[1].toInt()}, at[2].toInt()};
}

}  // namespace tolvane
