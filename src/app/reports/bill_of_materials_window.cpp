// The bill of materials wizard.
#include "app/reports/bill_of_materials_window.h"

#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "app/projects/data_sheet_window.h"
#include "app/shell/widget_helpers.h"
#include "shell/app_folder.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

using reports::BomSection;

namespace {

// The object names of the section boxes, which scripts set.
const char* boxName(BomSection s) {
    switch (s) {
        case BomSection::OutputConnectors:
            return "chkOutputConnectors";
        case BomSection::InputConnectors:
            return "chkInputConnectors";
        case BomSection::Equipment:
            return "chkEquipment";
        case BomSection::JackFields:
            return "chkJackFields";
        case BomSection::CableTypes:
            return "chkCableTypes";
        case BomSection::ChildOutputConnectors:
            return "chkChildOutputConnectors";
        case BomSection::ChildInputConnectors:
            return "chkChildInputConnectors";
        case BomSection::Panels:
            return "chkPanels";
        case BomSection::Routers:
            return "chkRouters";
    }
    return "";
}

QWidget* pageOf(QLayout* layout) {
    auto* page = new QWidget;
    page->setLayout(layout);
    return page;
}

}  // namespace

BillOfMaterialsWindow::BillOfMaterialsWindow(Ui& ui, const QString& appPath,
                                             db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), appPath_(appPath), registry_(registry), service_(ui, registry) {
    setObjectName(QStringLiteral("frmBOM"));
    setWindowTitle(tr("Bill of Materials"));

    // The choice of work, and the bills there are.
    optNew_ = named(new QRadioButton(tr("Create a New B.O.M.")), "optNew");
    optExisting_ = named(new QRadioButton(tr("Use an Existing B.O.M.")), "optExisting");
    optDelete_ = named(new QRadioButton(tr("Delete an existing B.O.M.")), "optDelete");
    optNew_->setChecked(true);
    bills_ = new QStandardItemModel(this);
    billList_ = itemList("lstReports", bills_);
    auto* choice = new QVBoxLayout;
    for (QRadioButton* o : {optNew_, optExisting_, optDelete_}) choice->addWidget(o);
    choice->addSpacing(8);
    choice->addWidget(new QLabel(tr("Select an Existing Report")));
    choice->addWidget(billList_, 1);

    // The new bill's name and date.
    name_ = named(new QLineEdit, "txtReportName");
    date_ = named(new QLineEdit, "txtDate");
    date_->setReadOnly(true);
    date_->setText(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    auto* naming = new QFormLayout;
    naming->addRow(tr("Report Name:"), name_);
    naming->addRow(tr("Date:"), date_);
    auto* namingPage = new QVBoxLayout;
    namingPage->addLayout(naming);
    namingPage->addStretch(1);

    // The sections, and editing or previewing.
    auto* include = new QGroupBox(tr("Include in B.O.M."));
    auto* boxes = new QGridLayout(include);
    int at = 0;
    for (BomSection s : reports::allBomSections()) {
        auto* box = named(new QCheckBox(reports::bomBoxTitle(s)), boxName(s));
        box->setChecked(!reports::bomClass(s).isEmpty());
        include_.insert(s, box);
        boxes->addWidget(box, at % 5, at / 5);
        ++at;
    }
    optEdit_ =
        named(new QRadioButton(tr("Edit the Bill of Materials table before printing.")), "optEdit");
    optPreview_ = named(new QRadioButton(tr("Preview the report")), "optPreview");
    optPreview_->setChecked(true);
    auto* options = new QVBoxLayout;
    options->addWidget(include);
    options->addSpacing(8);
    options->addWidget(optEdit_);
    options->addWidget(optPreview_);
    options->addStretch(1);

    // The bill's lines, edited in place.
    editBox_ = new QVBoxLayout;
    editBox_->addWidget(new QLabel(tr("Bill of Materials:")));

    pages_ = new QStackedWidget;
    pages_->addWidget(pageOf(choice));
    pages_->addWidget(pageOf(namingPage));
    pages_->addWidget(pageOf(options));
    pages_->addWidget(pageOf(editBox_));

    const WizardButtons wizard = wizardButtons();
    back_ = wizard.back;
    next_ = wizard.next;
    finish_ = wizard.finish;
    cancel_ = wizard.cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(wizard.row);
    resize(720, 440);

    const auto guarded = [this](const char* procedure, auto f) {
        return [this, procedure, f] { runGuarded(errors_, procedure, f); };
    };
    connect(back_, &QPushButton::clicked, this, guarded("frmBOM.cmdBack", [this] { back(); }));
    connect(next_, &QPushButton::clicked, this, guarded("frmBOM.cmdNext", [this] { next(); }));
    connect(finish_, &QPushButton::clicked, this,
            guarded("frmBOM.cmdFinish", [this] { finish(); }));
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    for (QRadioButton* o : {optNew_, optExisting_, optDelete_, optEdit_, optPreview_})
        connect(o, &QRadioButton::toggled, this, [this] { updateButtons(); });
    connect(billList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateButtons(); });

    reloadBills();
    showPage(ChoicePage);
}

BillOfMaterialsWindow::Page BillOfMaterialsWindow::page() const {
    return Page(pages_->currentIndex());
}

void BillOfMaterialsWindow::reloadBills() {
    bills_->clear();
    for (const db::BomBill& bill : service_.bills())
        bills_->appendRow(new QStandardItem(bill.name));
    updateButtons();
}

QString BillOfMaterialsWindow::selectedBill() const {
    const QModelIndexList rows = billList_->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

QList<BomSection> BillOfMaterialsWindow::chosenSections() const {
    QList<BomSection> out;
    for (BomSection s : reports::allBomSections())
        if (include_.value(s)->isChecked()) out << s;
    return out;
}

void BillOfMaterialsWindow::showPage(Page page) {
    pages_->setCurrentIndex(page);
    if (page == NamePage) name_->setFocus();
    updateButtons();
}

void BillOfMaterialsWindow::updateButtons() {
    const Page p = page();
    const bool creating = optNew_->isChecked();
    billList_->setEnabled(!creating);
    // Once its lines are written a new bill keeps them: its name and sections are settled.
    name_->setEnabled(created_.isEmpty());
    for (QCheckBox* box : std::as_const(include_)) box->setEnabled(created_.isEmpty());
    back_->setEnabled(p != ChoicePage);
    switch (p) {
        case ChoicePage:
            next_->setEnabled(creating || (optExisting_->isChecked() && !selectedBill().isEmpty()));
            finish_->setEnabled(!creating && !selectedBill().isEmpty());
            break;
        case NamePage:
            next_->setEnabled(true);
            finish_->setEnabled(false);
            break;
        case OptionsPage:
            next_->setEnabled(optEdit_->isChecked());
            finish_->setEnabled(true);
            break;
        case EditPage:
            next_->setEnabled(false);
            finish_->setEnabled(true);
            break;
    }
}

void BillOfMaterialsWindow::next() {
    switch (page()) {
        case ChoicePage:
            if (optNew_->isChecked())
                showPage(NamePage);
            else if (optExisting_->isChecked() && !selectedBill().isEmpty())
                showLines(selectedBill());
            break;
        case NamePage:
            if (!created_.isEmpty() || service_.acceptNewName(name_->text()))
                showPage(OptionsPage);
            else
                name_->setFocus();
            break;
        case OptionsPage:
            if (optEdit_->isChecked() && createBill()) showLines(created_);
            break;
        case EditPage:
            break;
    }
}

void BillOfMaterialsWindow::back() {
    switch (page()) {
        case ChoicePage:
            break;
        case NamePage:
            showPage(ChoicePage);
            break;
        case OptionsPage:
            showPage(NamePage);
            break;
        case EditPage:
            showPage(optNew_->isChecked() ? OptionsPage : ChoicePage);
            break;
    }
}

void BillOfMaterialsWindow::finish() {
    if (page() == ChoicePage && optDelete_->isChecked()) {
        const QString bill = selectedBill();
        if (!bill.isEmpty() && service_.remove(bill)) reloadBills();
        return;
    }
    QString bill;
    if (optNew_->isChecked()) {
        if (!createBill()) return;
        bill = created_;
    } else {
        bill = selectedBill();
    }
    if (bill.isEmpty()) return;
    print(bill);
    accept();
}

bool BillOfMaterialsWindow::createBill() {
    if (!created_.isEmpty()) return true;
    const QString name = name_->text();
    if (!service_.create(name, QDate::currentDate(), chosenSections())) return false;
    created_ = name;
    updateButtons();
    return true;
}

void BillOfMaterialsWindow::showLines(const QString& bill) {
    if (sheet_) {
        editBox_->removeWidget(sheet_);
        delete sheet_;
        sheet_ = nullptr;
    }
    SheetDef def;
    def.object = QStringLiteral("frmBOMLines");
    def.title = tr("Bill of Materials");
    def.suffix = QStringLiteral(" [Bill of Materials]");
    def.db = db::DbId::Project;
    def.table = QStringLiteral("tblBOM");
    def.select = db::BomTable::linesSelect();
    def.orderBy = QStringLiteral("BOMClass, Item");
    def.hidden = QStringList{QStringLiteral("ItemKey"), QStringLiteral("FileName")};
    def.editable = true;
    // Extensions are priced from quantity and cost before every print.
    def.readOnly = QStringList{QStringLiteral("Ext1"), QStringLiteral("Ext2")};
    sheet_ = new DataSheetWindow(def, ui_, registry_);
    sheet_->setAttribute(Qt::WA_DeleteOnClose, false);
    sheet_->setErrorHandler(errors_);
    const QString lines = service_.linesCondition(bill);
    sheet_->model()->setFilter(lines.isEmpty() ? QStringLiteral("1 = 0") : lines);
    sheet_->model()->reload();
    editBox_->addWidget(sheet_, 1);
    showPage(EditPage);
}

void BillOfMaterialsWindow::print(const QString& bill) {
    service_.recomputeExtensions(bill);
    if (!preview) return;
    QString path = appPath_;
    for (const QString& part : reports::bomReportPath().split(QLatin1Char('/'))) {
        const QString found = appfolder::findNoCase(path, part);
        path = found.isEmpty() ? QDir(path).filePath(part) : found;
    }
    preview(path, reports::bomFilterExpression(bill));
}

}  // namespace tolvane
