// The data tab's filter builder: lines of field, operator and value joined by And/Or, which
// write the filter expression into the expression box as they change; the expression may also
// be typed there. Apply hands the expression on; Clear empties both.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "reports/report_filter.h"

class QComboBox;
class QGridLayout;
class QLineEdit;

namespace tolvane {

class FilterBuilder : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kLines = 4;

    explicit FilterBuilder(QWidget* parent = nullptr);
    // The fields the lines offer (the query's columns, without the replication columns).
    void setFields(const QStringList& fields);
    QString expression() const;
    void setExpression(const QString& expression);
    QList<reports::FilterLine> lines() const;

    std::function<void(const QString& expression)> apply;
    std::function<void()> clear;

  private:
    void linesChanged();

    struct Line {
        QComboBox* join = nullptr;  // null on the first line
        QComboBox* field;
        QComboBox* op;
        QLineEdit* value;
    };
    QList<Line> lines_;
    QLineEdit* expression_;
    bool writing_ = false;
};

}  // namespace tolvane
