#include "app/reports/filter_builder.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "reports/report_error.h"

namespace tolvane {

FilterBuilder::FilterBuilder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraFilter"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Field")), 0, 1);
    grid->addWidget(new QLabel(tr("Operator")), 0, 2);
    grid->addWidget(new QLabel(tr("Value")), 0, 3);
    for (int i = 1; i <= kLines; ++i) {
        Line line;
        if (i > 1) {
            line.join = new QComboBox;
            line.join->setObjectName(QStringLiteral("cboJoin%1").arg(i));
            line.join->addItems({QStringLiteral("And"), QStringLiteral("Or")});
            grid->addWidget(line.join, i, 0);
        }
        line.field = new QComboBox;
        line.field->setObjectName(QStringLiteral("cboField%1").arg(i));
        line.field->setMinimumContentsLength(16);
        line.op = new QComboBox;
        line.op->setObjectName(QStringLiteral("cboOperator%1").arg(i));
        line.op->addItems(reports::filterOperators());
        line.value = new QLineEdit;
        line.value->setObjectName(QStringLiteral("txtValue%1").arg(i));
        grid->addWidget(line.field, i, 1);
        grid->addWidget(line.op, i, 2);
        grid->addWidget(line.value, i, 3);
        const auto changed = [this] { linesChanged(); };
        if (line.join) connect(line.join, &QComboBox::currentIndexChanged, this, changed);
        connect(line.field, &QComboBox::currentIndexChanged, this, changed);
        connect(line.op, &QComboBox::currentIndexChanged, this, changed);
        connect(line.value, &QLineEdit::textChanged, this, changed);
        lines_ << line;
    }
    grid->setColumnStretch(3, 1);
    expression_ = named(new QLineEdit, "txtFilter");
    expression_->setPlaceholderText(
        tr("Filter expression, e.g. CableNO LIKE 'A%' AND Length > 10"));
    auto* applyButton = namedButton("cmdApplyFilter", tr("&Apply"));
    auto* clearButton = namedButton("cmdClearFilter", tr("&Clear"));
    connect(applyButton, &QPushButton::clicked, this, [this] {
        if (apply) apply(expression());
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        setExpression({});
        if (clear) clear();
    });
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Filter:")));
    bottom->addWidget(expression_, 1);
    bottom->addWidget(applyButton);
    bottom->addWidget(clearButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(grid);
    layout->addLayout(bottom);
}

void FilterBuilder::setFields(const QStringList& fields) {
    writing_ = true;
    for (Line& line : lines_) {
        const QString was = line.field->currentText();
        line.field->clear();
        line.field->addItem(QString());
        line.field->addItems(fields);
        line.field->setCurrentIndex(std::max(0, int(line.field->findText(was))));
    }
    writing_ = false;
}

QList<reports::FilterLine> FilterBuilder::lines() const {
    QList<reports::FilterLine> out;
    for (const Line& line : lines_)
        out << reports::FilterLine{line.field->currentText(), line.op->currentText(),
                                   line.value->text(),
                                   line.join ? line.join->currentText() : QStringLiteral("And")};
    return out;
}

void FilterBuilder::linesChanged() {
    if (writing_) return;
    for (const Line& line : lines_)
        line.value->setEnabled(reports::operatorTakesValue(line.op->currentText()));
    try {
        expression_->setText(reports::filterExpression(lines()));
    } catch (const reports::ReportError&) {
        // The operators offered are all known: nothing to write otherwise.
    }
}

QString FilterBuilder::expression() const {
    return expression_->text();
}

void FilterBuilder::setExpression(const QString& expression) {
    writing_ = true;
    for (Line& line : lines_) {
        line.field->setCurrentIndex(0);
        line.op->setCurrentIndex(0);
        line.value->clear();
        if (line.join) line.join->setCurrentIndex(0);
    }
    writing_ = false;
    expression_->setText(expression);
}

}  // namespace tolvane
