// The report wizard's window: it gathers the choices; the schema, the SQL, the layout and the
// summary are the wizard service's.
#include "app/reports/report_wizard_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "reports/report_error.h"
#include "reports/rpx_file.h"
#include "shell/app_error.h"
#include "ui/ui.h"

namespace tolvane {

using namespace reports::wizard;

namespace {

const char* const kCaptions[] = {
    "Choose the database the report reads.",
    "Choose the tables the report reads.",
    "Choose the fields the report shows, in the order they are to stand.",
    "Choose the relations that join the tables.",
    "Choose the fields the report groups its rows by, outermost first.",
    "Choose the fields the rows are sorted by.",
    "Choose a style and give the report its title.",
};

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString fieldText(const QString& table, const QString& field) {
    return tableCaption(table) + QLatin1Char('.') + field;
}

// The row chosen in a list: its selection, else its current row; -1 for none.
int chosenRow(const QListView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    if (!rows.isEmpty()) return rows.first().row();
    return list->currentIndex().isValid() ? list->currentIndex().row() : -1;
}

// keys: what each item stands for, when its text is not that (a table's name in words).
void fill(QStandardItemModel* model, const QStringList& items, const QStringList& keys = {}) {
    model->clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QStandardItem(items[i]);
        item->setEditable(false);
        item->setData(keys.value(i, items[i]), Qt::UserRole);
        model->appendRow(item);
    }
}

QStringList captions(const QStringList& tables) {
    QStringList out;
    for (const QString& t : tables) out << tableCaption(t);
    return out;
}

// Two lists side by side with the buttons that move an item between them.
QWidget* pickerPage(const QString& leftTitle, QWidget* left, const QString& rightTitle,
                    QWidget* right, const QList<QPushButton*>& buttons, QWidget* above = nullptr,
                    QWidget* below = nullptr) {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    if (above) grid->addWidget(above, 0, 0, 1, 3);
    grid->addWidget(new QLabel(leftTitle), 1, 0);
    grid->addWidget(new QLabel(rightTitle), 1, 2);
    grid->addWidget(left, 2, 0);
    auto* middle = new QVBoxLayout;
    middle->addStretch(1);
    for (QPushButton* b : buttons) middle->addWidget(b);
    middle->addStretch(1);
    grid->addLayout(middle, 2, 1);
    grid->addWidget(right, 2, 2);
    if (below) grid->addWidget(below, 3, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    return page;
}

}  // namespace

ReportWizardWindow::ReportWizardWindow(Ui& ui, const QString& folder, db::Connections& registry,
                                       QWidget* parent)
    : QDialog(parent), ui_(ui), folder_(folder), registry_(registry) {
    setObjectName(QStringLiteral("frmReportWizard"));
    setWindowTitle(tr("Report Wizard"));
    step_ = named(new QLabel, "lblStep");
    QFont bold = step_->font();
    bold.setBold(true);
    step_->setFont(bold);

    database_ = named(new QComboBox, "cboDatabase");
    database_->addItems(
        {tr("Equipment database"), tr("Project database"), tr("Project manager database")});
    database_->setCurrentIndex(1);
    connection_ = named(new QLabel, "lblConnection");
    connection_->setWordWrap(true);
    connection_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* sourcePage = new QWidget;
    auto* sourceForm = new QFormLayout(sourcePage);
    sourceForm->addRow(tr("Database:"), database_);
    sourceForm->addRow(tr("Connection:"), connection_);

    const auto list = [this](const char* name, QStandardItemModel** model) {
        *model = new QStandardItemModel(this);
        return itemList(name, *model);
    };
    tableList_ = list("lstTables", &tables_);
    chosenTableList_ = list("lstChosenTables", &chosenTables_);
    auto* addTable = namedButton("cmdAddTable", tr("Add >"));
    auto* removeTable = namedButton("cmdRemoveTable", tr("< Remove"));

    table_ = named(new QComboBox, "cboTable");
    fieldList_ = list("lstFields", &fields_);
    chosenFieldList_ = list("lstChosenFields", &chosenFields_);
    auto* addField = namedButton("cmdAddField", tr("Add >"));
    auto* addAll = namedButton("cmdAddAll", tr("Add All >>"));
    auto* removeField = namedButton("cmdRemoveField", tr("< Remove"));
    auto* tableRow = new QWidget;
    auto* tableForm = new QFormLayout(tableRow);
    tableForm->setContentsMargins(0, 0, 0, 0);
    tableForm->addRow(tr("Table:"), table_);

    relationList_ = list("lstRelations", &relations_);
    chosenRelationList_ = list("lstChosenRelations", &chosenRelations_);
    auto* addRelation = namedButton("cmdAddRelation", tr("Add >"));
    auto* removeRelation = namedButton("cmdRemoveRelation", tr("< Remove"));

    groupCandidateList_ = list("lstGroupFields", &groupCandidates_);
    groupList_ = list("lstGroups", &groups_);
    auto* addGroup = namedButton("cmdAddGroup", tr("Add >"));
    auto* removeGroup = namedButton("cmdRemoveGroup", tr("< Remove"));

    sortCandidateList_ = list("lstSortFields", &sortCandidates_);
    sortList_ = list("lstSorts", &sorts_);
    descending_ = named(new QCheckBox(tr("Descending")), "chkDescending");
    auto* addSort = namedButton("cmdAddSort", tr("Add >"));
    auto* removeSort = namedButton("cmdRemoveSort", tr("< Remove"));

    style_ = named(new QComboBox, "cboStyle");
    for (const ReportStyle& s : reportStyles()) style_->addItem(s.name);
    title_ = named(new QLineEdit, "txtTitle");
    summary_ = named(new QPlainTextEdit, "txtSummary");
    summary_->setReadOnly(true);
    auto* stylePage = new QWidget;
    auto* styleForm = new QFormLayout(stylePage);
    styleForm->addRow(tr("Style:"), style_);
    styleForm->addRow(tr("Report Title:"), title_);
    styleForm->addRow(tr("Summary:"), summary_);

    pages_ = new QStackedWidget;
    pages_->addWidget(sourcePage);
    pages_->addWidget(pickerPage(tr("Tables:"), tableList_, tr("Report tables:"), chosenTableList_,
                                 {addTable, removeTable}));
    pages_->addWidget(pickerPage(tr("Fields:"), fieldList_, tr("Report fields:"), chosenFieldList_,
                                 {addField, addAll, removeField}, tableRow));
    pages_->addWidget(pickerPage(tr("Relations between the tables:"), relationList_,
                                 tr("Joins used:"), chosenRelationList_,
                                 {addRelation, removeRelation}));
    pages_->addWidget(pickerPage(tr("Fields:"), groupCandidateList_, tr("Group levels:"),
                                 groupList_, {addGroup, removeGroup}));
    pages_->addWidget(pickerPage(tr("Fields:"), sortCandidateList_, tr("Sort order:"), sortList_,
                                 {addSort, removeSort}, nullptr, descending_));
    pages_->addWidget(stylePage);

    const WizardButtons wizard = wizardButtons();
    back_ = wizard.back;
    next_ = wizard.next;
    finish_ = wizard.finish;
    cancel_ = wizard.cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(step_);
    layout->addWidget(pages_, 1);
    layout->addLayout(wizard.row);

    const auto moveChosen = [this](QListView* from, auto apply) {
        const int row = chosenRow(from);
        if (row < 0) {
            ui_.beep();
            return;
        }
        apply(row);
        refreshLists();
    };
    connect(addTable, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(tableList_, [this](int row) {
            choices_.tables << tables_->item(row)->data(Qt::UserRole).toString();
        });
    });
    connect(removeTable, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(chosenTableList_, [this](int row) {
            const QString gone = choices_.tables.takeAt(row);
            const auto of = [&](const QString& t) { return same(t, gone); };
            choices_.fields.removeIf([&](const SelectedField& f) { return of(f.table); });
            choices_.groups.removeIf([&](const GroupField& g) { return of(g.table); });
            choices_.sorts.removeIf([&](const SortField& s) { return of(s.table); });
            choices_.relations.removeIf(
                [&](const Relation& r) { return of(r.tablePrimary) || of(r.tableForeign); });
        });
    });
    connect(table_, &QComboBox::currentIndexChanged, this, [this] { fillFieldList(); });
    const auto addFields = [this](const QList<FieldInfo>& fields) {
        for (const FieldInfo& f : fields)
            choices_.fields << SelectedField{currentTable(), f.name, f.type, f.size};
        refreshLists();
    };
    connect(addField, &QPushButton::clicked, this, [this, addFields] {
        const int row = chosenRow(fieldList_);
        if (row < 0) return ui_.beep();
        const QString name = fields_->item(row)->text();
        for (const FieldInfo& f : source_.fields(currentTable()))
            if (f.name == name) return addFields({f});
    });
    connect(addAll, &QPushButton::clicked, this, [this, addFields] {
        QList<FieldInfo> missing;
        for (int i = 0; i < fields_->rowCount(); ++i)
            for (const FieldInfo& f : source_.fields(currentTable()))
                if (f.name == fields_->item(i)->text()) missing << f;
        addFields(missing);
    });
    connect(removeField, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(chosenFieldList_, [this](int row) {
            const SelectedField gone = choices_.fields.takeAt(row);
            const auto match = [&](const QString& t, const QString& f) {
                return same(t, gone.table) && same(f, gone.field);
            };
            choices_.groups.removeIf([&](const GroupField& g) { return match(g.table, g.field); });
            choices_.sorts.removeIf([&](const SortField& s) { return match(s.table, s.field); });
        });
    });
    connect(addRelation, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(relationList_, [this](int row) {
            for (const Relation& r : std::as_const(offered_))
                if (r.text() == relations_->item(row)->text()) choices_.relations << r;
        });
    });
    connect(removeRelation, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(chosenRelationList_, [this](int row) { choices_.relations.removeAt(row); });
    });
    connect(addGroup, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(groupCandidateList_, [this](int row) {
            const QString text = groupCandidates_->item(row)->text();
            for (const SelectedField& f : std::as_const(choices_.fields))
                if (fieldText(f.table, f.field) == text)
                    choices_.groups << GroupField{f.table, f.field};
        });
    });
    connect(removeGroup, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(groupList_, [this](int row) { choices_.groups.removeAt(row); });
    });
    connect(addSort, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(sortCandidateList_, [this](int row) {
            const QString text = sortCandidates_->item(row)->text();
            for (const SelectedField& f : std::as_const(choices_.fields))
                if (fieldText(f.table, f.field) == text)
                    choices_.sorts << SortField{f.table, f.field, descending_->isChecked()};
        });
    });
    connect(removeSort, &QPushButton::clicked, this, [this, moveChosen] {
        moveChosen(sortList_, [this](int row) { choices_.sorts.removeAt(row); });
    });
    connect(database_, &QComboBox::currentIndexChanged, this, [this] { readSchema(); });
    connect(style_, &QComboBox::currentIndexChanged, this, &ReportWizardWindow::showSummary);
    connect(title_, &QLineEdit::textChanged, this, &ReportWizardWindow::showSummary);
    connect(back_, &QPushButton::clicked, this, [this] {
        if (page() > SourcePage) showPage(Page(page() - 1));
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (page() < StylePage && leavePage()) showPage(Page(page() + 1));
    });
    connect(finish_, &QPushButton::clicked, this, &ReportWizardWindow::finish);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    readSchema();
    showPage(SourcePage);
    resize(720, 480);
}

QString ReportWizardWindow::currentTable() const {
    return table_->currentData().toString();
}

ReportWizardWindow::Page ReportWizardWindow::page() const {
    return Page(pages_->currentIndex());
}

// A new database: its schema is read and every choice made so far is dropped.
void ReportWizardWindow::readSchema() {
    choices_ = Choices{};
    choices_.database = database_->currentIndex();
    const db::DbId id = databaseOf(choices_);
    source_.reset();
    if (!registry_.isBound(id)) {
        connection_->setText(tr("(this database is not open)"));
    } else {
        choices_.connection = registry_.boundTo(id).location();
        connection_->setText(choices_.connection);
        try {
            source_.open(id, registry_);
        } catch (const AppError& e) {
            ui_.message(QStringLiteral("Error: ") + e.description(), MsgButtons::Ok,
                        MsgIcon::Critical);
        }
    }
    refreshLists();
}

void ReportWizardWindow::showPage(Page p) {
    pages_->setCurrentIndex(p);
    step_->setText(tr(kCaptions[p]));
    if (p == RelationsPage && choices_.relations.isEmpty()) {
        // The relations the schema declares between the chosen tables are offered as used.
        for (int i = 0; i < choices_.tables.size(); ++i)
            for (int j = i + 1; j < choices_.tables.size(); ++j)
                if (const auto r = source_.relationFor(choices_.tables[i], choices_.tables[j]))
                    choices_.relations << *r;
    }
    refreshLists();
    back_->setEnabled(p > SourcePage);
    next_->setEnabled(p < StylePage);
    finish_->setEnabled(p >= FieldsPage);
}

bool ReportWizardWindow::leavePage() {
    QString problem;
    if (page() == SourcePage && !source_.isOpen())
        problem = tr("The database chosen is not open.");
    else if (page() == TablesPage && choices_.tables.isEmpty())
        problem = tr("Choose at least one table.");
    else if (page() == FieldsPage && choices_.fields.isEmpty())
        problem = tr("Choose at least one field.");
    else if (page() == RelationsPage)
        problem = problemWith(choices_);
    if (problem.isEmpty()) return page() != RelationsPage || unrelatedTablesAccepted();
    ui_.message(problem, MsgButtons::Ok, MsgIcon::Information);
    return false;
}

bool ReportWizardWindow::unrelatedTablesAccepted() {
    const QString warning = warningFor(choices_);
    if (warning.isEmpty() || warning == acceptedWarning_) return true;
    if (ui_.message(warning, MsgButtons::YesNo, MsgIcon::Warning) != MsgButton::Yes) return false;
    acceptedWarning_ = warning;  // asked once for the same tables
    return true;
}

void ReportWizardWindow::finish() {
    showSummary();  // takes the style and title
    QString problem = problemWith(choices_);
    if (problem.isEmpty() && choices_.title.isEmpty()) {
        // The title is asked for where it is typed.
        if (page() != StylePage) showPage(StylePage);
        title_->setFocus();
        problem = tr("Enter a Report Title");
    }
    if (!problem.isEmpty()) {
        ui_.message(problem, MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    if (!unrelatedTablesAccepted()) return;
    FileDialogOptions options;
    options.title = tr("Save Report As:");
    options.filter = tr("Tolvane Report Files (*.RPX)");
    options.folder = folder_;
    options.proposed = cleanName(choices_.title) + QStringLiteral(".RPX");
    options.mustExist = false;
    const std::optional<QString> chosen = ui_.saveFile(options);
    if (!chosen || chosen->isEmpty()) return;  // the wizard stays open with its choices
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".RPX");
    reports::ReportLayout layout = generateLayout(choices_);
    layout.name = QFileInfo(path).completeBaseName();
    try {
        reports::writeRpx(path, layout);
    } catch (const reports::ReportError& e) {
        ui_.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    accept();
    if (open) open(path);
}

void ReportWizardWindow::fillFieldList() {
    QStringList names;
    const QString table = currentTable();
    for (const FieldInfo& f : source_.fields(table)) {
        // The row identities replication adds are nothing to report.
        if (f.name.startsWith(QLatin1String("s_"), Qt::CaseInsensitive)) continue;
        bool chosen = false;
        for (const SelectedField& s : std::as_const(choices_.fields))
            chosen = chosen || (same(s.table, table) && same(s.field, f.name));
        if (!chosen) names << f.name;
    }
    fill(fields_, names);
}

// Every list shown again from the choices.
void ReportWizardWindow::refreshLists() {
    QStringList available;
    for (const TableInfo& t : source_.tables()) {
        if (t.isSystem) continue;
        if (choices_.tables.contains(t.name, Qt::CaseInsensitive)) continue;
        available << t.name;
    }
    // Tables are shown by their names in words, in that order.
    std::sort(available.begin(), available.end(), [](const QString& a, const QString& b) {
        return tableCaption(a).compare(tableCaption(b), Qt::CaseInsensitive) < 0;
    });
    fill(tables_, captions(available), available);
    fill(chosenTables_, captions(choices_.tables), choices_.tables);

    {
        const QSignalBlocker quiet(table_);
        const QString was = currentTable();
        table_->clear();
        for (const QString& t : std::as_const(choices_.tables)) table_->addItem(tableCaption(t), t);
        if (const int at = table_->findData(was); at >= 0) table_->setCurrentIndex(at);
    }
    fillFieldList();
    QStringList fields;
    for (const SelectedField& f : std::as_const(choices_.fields))
        fields << fieldText(f.table, f.field);
    fill(chosenFields_, fields);

    offered_.clear();
    QStringList offered, used;
    for (const Relation& r : source_.relations()) {
        const bool between = choices_.tables.contains(r.tablePrimary, Qt::CaseInsensitive) &&
                             choices_.tables.contains(r.tableForeign, Qt::CaseInsensitive);
        if (!between) continue;
        offered_ << r;
        if (!choices_.relations.contains(r)) offered << r.text();
    }
    for (const Relation& r : std::as_const(choices_.relations)) used << r.text();
    fill(relations_, offered);
    fill(chosenRelations_, used);

    QStringList groupable, grouped, sortable, sorted;
    for (const SelectedField& f : std::as_const(choices_.fields)) {
        const QString text = fieldText(f.table, f.field);
        bool isGrouped = false, isSorted = false;
        for (const GroupField& g : std::as_const(choices_.groups))
            isGrouped = isGrouped || (same(g.table, f.table) && same(g.field, f.field));
        for (const SortField& s : std::as_const(choices_.sorts))
            isSorted = isSorted || (same(s.table, f.table) && same(s.field, f.field));
        if (!isGrouped) groupable << text;
        if (!isSorted) sortable << text;
    }
    for (const GroupField& g : std::as_const(choices_.groups))
        grouped << fieldText(g.table, g.field);
    for (const SortField& s : std::as_const(choices_.sorts))
        sorted << fieldText(s.table, s.field) + (s.descending ? tr(" (descending)") : QString());
    fill(groupCandidates_, groupable);
    fill(groups_, grouped);
    fill(sortCandidates_, sortable);
    fill(sorts_, sorted);
    showSummary();
}

void ReportWizardWindow::showSummary() {
    choices_.style = style_->currentIndex();
    choices_.title = title_->text().trimmed();
    summary_->setPlainText(summary(choices_));
}

}  // namespace tolvane
