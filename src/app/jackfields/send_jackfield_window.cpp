// The window that sends a jackfield to the project.
#include "app/jackfields/send_jackfield_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/shell/widget_helpers.h"
#include "equipment/pins.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

using namespace jackfields;

SendJackfieldWindow::SendJackfieldWindow(equipment::LibraryAccess access,
                                         const db::LibraryJackfieldRecord& model, QWidget* parent)
    : QDialog(parent), a_(access), project_(access.registry), model_(model) {
    setUp();
}

SendJackfieldWindow::SendJackfieldWindow(equipment::LibraryAccess access, QWidget* parent)
    : QDialog(parent), a_(access), project_(access.registry) {
    setUp();
}

SendJackfieldWindow::~SendJackfieldWindow() = default;

void SendJackfieldWindow::setUp() {
    setObjectName(QStringLiteral("frmSendJF"));
    const bool assign = model_.has_value();
    setWindowTitle(assign ? tr("Send Jack Field to Project")
                          : QStringLiteral("Build Jack Field in Current Drawing"));
    heading_ = named(new QLabel, "lblHeading");
    heading_->setText(assign ? QStringLiteral("Assign ") + model_->manufacturerName +
                                   QStringLiteral(" - ") + model_->name +
                                   QStringLiteral(" To The Current Project")
                             : QStringLiteral("Select a Jack Field to Build in the Drawing."));
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);

    sysName_ = named(new QComboBox, "cboSysName");
    sysName_->setEditable(true);
    sysName_->setInsertPolicy(QComboBox::NoInsert);
    number_ = named(new QLineEdit, "txtNumber");
    up_ = namedButton("cmdUp", QStringLiteral("\u25B2"));
    down_ = namedButton("cmdDown", QStringLiteral("\u25BC"));
    next_ = namedButton("cmdNext", tr("Next Number"));
    for (QPushButton* b : {up_, down_}) b->setFixedWidth(32);
    location_ = named(new QLineEdit, "txtLocation");
    elevation_ = named(new QLineEdit, "txtElevation");
    rowStart_ = named(new QLineEdit, "txtRowStart");
    rows_ = named(new QLabel, "lblRows");
    columnStart_ = named(new QLineEdit, "txtColStart");
    columns_ = named(new QLabel, "lblCols");
    signalType_ = named(new QComboBox, "cboSignalType");
    buildBox_ = named(new QCheckBox(tr("Build the Jack Field in the current drawing")), "chkBuild");

    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(number_);
    numberRow->addWidget(up_);
    numberRow->addWidget(down_);
    numberRow->addWidget(next_);
    auto* rowRow = new QHBoxLayout;
    rowRow->addWidget(rowStart_);
    rowRow->addWidget(rows_, 1);
    auto* columnRow = new QHBoxLayout;
    columnRow->addWidget(columnStart_);
    columnRow->addWidget(columns_, 1);
    auto* form = new QFormLayout;
    form->addRow(tr("Jack Field System Name:"), sysName_);
    form->addRow(tr("Number:"), numberRow);
    form->addRow(tr("Location:"), location_);
    form->addRow(tr("Elevation:"), elevation_);
    form->addRow(tr("Row Start Letter:"), rowRow);
    form->addRow(tr("Column Start Number:"), columnRow);
    form->addRow(tr("Signal Type:"), signalType_);
    form->addRow(QString(), buildBox_);

    QPushButton* okButton = namedButton("cmdOK", tr("OK"));
    QPushButton* cancelButton = namedButton("cmdCancel", tr("Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addLayout(form);
    layout->addLayout(buttons);

    const auto guarded = [this](const char* procedure, auto run) {
        return [this, procedure, run] { runGuarded(errors_, procedure, run); };
    };
    connect(sysName_, &QComboBox::activated, this,
            guarded("cboSysName_Click", [this] { loadName(); }));
    connect(sysName_->lineEdit(), &QLineEdit::editingFinished, this,
            guarded("cboSysName_LostFocus", [this] { loadName(); }));
    connect(up_, &QPushButton::clicked, this, guarded("cmdUp_Click", [this] { step(1); }));
    connect(down_, &QPushButton::clicked, this, guarded("cmdDown_Click", [this] { step(-1); }));
    connect(next_, &QPushButton::clicked, this, guarded("cmdNext_Click", [this] { nextNumber(); }));
    connect(number_, &QLineEdit::editingFinished, this,
            guarded("txtNumber_LostFocus", [this] { leaveNumber(); }));
    connect(rowStart_, &QLineEdit::editingFinished, this,
            guarded("txtRowStart_LostFocus", [this] { leaveRowStart(); }));
    connect(okButton, &QPushButton::clicked, this, guarded("cmdOK_Click", [this] { ok(); }));
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    runGuarded(errors_, "frmSendJF.Form_Load", [this, assign] {
        sysName_->addItems(project_.names());
        sysName_->setCurrentIndex(-1);
        signalType_->addItems(equipment::Pins(a_).signalTypes());
        signalType_->setCurrentIndex(-1);
        if (assign) {
            rows_->setText(QStringLiteral("x ") + QString::number(model_->rows));
            columns_->setText(QStringLiteral("x ") + QString::number(model_->columns));
            number_->setText(twoDigits(1));
            rowStart_->setText(QStringLiteral("A"));
            columnStart_->setText(QStringLiteral("1"));
        } else {
            // The stored jackfield is built as it is: only its name and number are chosen.
            buildBox_->setChecked(true);
            buildBox_->setEnabled(false);
            next_->setEnabled(false);
            for (QLineEdit* field : {location_, elevation_, rowStart_, columnStart_})
                field->setReadOnly(true);
            signalType_->setEnabled(false);
            if (sysName_->count() > 0) {
                sysName_->setCurrentIndex(0);
                loadName();
            }
        }
    });
    resize(480, sizeHint().height());
}

std::optional<qint64> SendJackfieldWindow::number() const {
    bool ok = false;
    const qint64 n = number_->text().trimmed().toLongLong(&ok);
    return ok && n >= 0 ? std::optional<qint64>(n) : std::nullopt;
}

void SendJackfieldWindow::loadName() {
    ofName_ = project_.ofName(sysName_->currentText());
    if (ofName_.isEmpty()) {
        // A name new to the project starts at 01.
        index_ = -1;
        if (model_) {
            number_->setText(twoDigits(1));
        } else {
            number_->clear();
            rows_->clear();
            columns_->clear();
        }
        return;
    }
    showRow(0);
}

void SendJackfieldWindow::showRow(int index) {
    if (index < 0 || index >= ofName_.size()) return;
    index_ = index;
    const StoredJackfield& s = ofName_[index];
    number_->setText(twoDigits(s.jf.number));
    location_->setText(s.jf.location);
    elevation_->setText(s.jf.elevation);
    columnStart_->setText(QString::number(s.jf.columnStart));
    rowStart_->setText(s.jf.rowStart);
    signalType_->setCurrentIndex(signalType_->findText(s.jf.signalType));
    if (!model_) {
        rows_->setText(QStringLiteral("x ") + QString::number(s.rows));
        columns_->setText(QStringLiteral("x ") + QString::number(s.columns));
    }
}

void SendJackfieldWindow::step(int by) {
    if (ofName_.isEmpty()) {
        a_.ui.beep();
        return;
    }
    showRow(std::clamp(index_ + by, 0, int(ofName_.size()) - 1));
}

void SendJackfieldWindow::nextNumber() {
    number_->setText(twoDigits(project_.nextNumber(sysName_->currentText())));
    location_->clear();
    elevation_->clear();
}

void SendJackfieldWindow::leaveNumber() {
    if (number_->text().trimmed().isEmpty()) return;
    const std::optional<qint64> n = number();
    if (!n) {
        a_.ui.beep();
        number_->clear();
        return;
    }
    number_->setText(twoDigits(*n));
}

void SendJackfieldWindow::leaveRowStart() {
    if (rowStart_->text().isEmpty()) return;
    const std::optional<QChar> letter = rowStartLetter(rowStart_->text());
    if (!letter) {
        a_.ui.beep();
        rowStart_->clear();
        return;
    }
    rowStart_->setText(*letter);
}

void SendJackfieldWindow::ok() {
    leaveNumber();
    if (model_)
        okAssign();
    else
        okBuild();
}

void SendJackfieldWindow::okAssign() {
    ProjectJackfield jf;
    jf.sysName = sysName_->currentText().trimmed();
    jf.location = location_->text();
    jf.elevation = elevation_->text();
    jf.signalType = signalType_->currentText();
    const std::optional<qint64> n = number();
    bool columnOk = false;
    jf.columnStart = columnStart_->text().trimmed().toInt(&columnOk);
    const std::optional<QChar> letter = rowStartLetter(rowStart_->text());
    QString refused;
    if (!n)
        refused = QStringLiteral("Enter the jackfield number.");
    else if (!letter)
        refused = QStringLiteral("Enter the row start letter.");
    else if (!columnOk || jf.columnStart < 0)
        refused = QStringLiteral("Enter the column start number as a whole number.");
    if (refused.isEmpty()) {
        jf.number = *n;
        jf.rowStart = *letter;
        refused = refusal(projectModel(*model_), jf);
    }
    const bool build = buildBox_->isChecked();
    if (refused.isEmpty() && build) refused = buildRefusal(model_->rows);
    if (!refused.isEmpty()) {
        a_.ui.message(refused, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    if (project_.exists(jf.sysName, jf.number)) {
        a_.ui.message(QStringLiteral("This Jackfield already exists in this project"),
                      MsgButtons::Ok, MsgIcon::Warning);
        a_.ui.beep();
        return;
    }
    const qint64 id = project_.assign(projectModel(*model_), jf);
    if (build) build_ = id;
    accept();
}

void SendJackfieldWindow::okBuild() {
    const std::optional<qint64> n = number();
    const std::optional<StoredJackfield> s =
        n ? project_.find(sysName_->currentText().trimmed(), *n) : std::nullopt;
    if (!s) {
        a_.ui.message(QStringLiteral("There is no jackfield %1-%2 in this project.")
                          .arg(sysName_->currentText().trimmed(), number_->text()),
                      MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    if (const QString refused = buildRefusal(s->rows); !refused.isEmpty()) {
        a_.ui.message(refused, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    build_ = s->id;
    accept();
}

}  // namespace tolvane
