// The report designer's windows beside the canvas: the property page of the selected control,
// the field list of the report's query, the sorting and grouping of its rows, and the report
// explorer (its sections and their controls). Each changes the layout in one edit, so undo
// takes the change back whole; none keeps a rule of its own (layout_editing.h has them).
#pragma once

#include <QDialog>

#include "reports/layout_document.h"
#include "reports/layout_editing.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QSpinBox;
class QTreeWidget;

namespace tolvane {

// The properties of one control: name, place and size, what it shows or binds, format,
// alignment, and those of its kind (symbology, bullets and indent, total, growth, lock).
class PropertyPage : public QDialog {
    Q_OBJECT
  public:
    PropertyPage(const reports::Control& control, QWidget* parent = nullptr);
    // The control as the page's boxes now describe it.
    reports::Control control() const;

  private:
    reports::Control original_;
    QLineEdit* name_;
    QSpinBox *left_, *top_, *width_, *height_;
    QPlainTextEdit* text_;
    QLineEdit* format_;
    QComboBox* align_;
    QComboBox* symbology_ = nullptr;
    QCheckBox* bullets_ = nullptr;
    QSpinBox* indent_ = nullptr;
    QComboBox* summary_ = nullptr;
    QCheckBox* canGrow_;
    QCheckBox* locked_;
};

// The fields of the report's query; Add places a bound field for each chosen one in a row
// across the section, with its heading over it in the page header when there is room.
class FieldListWindow : public QDialog {
    Q_OBJECT
  public:
    FieldListWindow(const QStringList& fields, QWidget* parent = nullptr);
    QStringList chosen() const;

  private:
    QListWidget* list_;
};

// The grouping levels, outermost first: each a field of the query and whether its header
// repeats on every page it goes on to. Groups keep their sections' controls when moved. Below
// them the sort fields, in order, each a column of the query, ascending or descending: the
// rows' order within the groups.
class SortingGroupingWindow : public QDialog {
    Q_OBJECT
  public:
    SortingGroupingWindow(const QList<reports::Group>& groups,
                          const QList<reports::SortField>& sorts, const QStringList& fields,
                          QWidget* parent = nullptr);
    QList<reports::Group> groups() const { return groups_; }
    QList<reports::SortField> sorts() const { return sorts_; }

  private:
    void refresh(int select);
    void refreshSorts(int select);
    static QString sortText(const reports::SortField& sort);
    QList<reports::Group> groups_;
    QList<reports::SortField> sorts_;
    QListWidget* list_;
    QComboBox* field_;
    QCheckBox* repeat_;
    QListWidget* sortList_;
    QComboBox* sortField_;
    QComboBox* sortOrder_;
};

// The report's sections in print order, each with its controls; the control chosen is the
// one the designer selects.
class ReportExplorer : public QDialog {
    Q_OBJECT
  public:
    ReportExplorer(const reports::ReportLayout& layout, QWidget* parent = nullptr);
    std::optional<reports::ControlRef> chosen() const;

  private:
    QTreeWidget* tree_;
};

}  // namespace tolvane
