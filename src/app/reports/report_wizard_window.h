// The report wizard: the database, its tables, their fields, the relations that join them,
// grouping and sorting, then a style and a title. Finish makes the layout (reports/
// report_wizard.h), saves it under the name the user gives and hands the file to be opened
// in a report window.
#pragma once

#include <QDialog>
#include <functional>

#include "db/database.h"
#include "reports/report_wizard.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;

namespace tolvane {

class Ui;

class ReportWizardWindow : public QDialog {
    Q_OBJECT
  public:
    enum Page {
        SourcePage,
        TablesPage,
        FieldsPage,
        RelationsPage,
        GroupsPage,
        SortPage,
        StylePage
    };

    // folder: where the save dialog starts (the project's general reports).
    ReportWizardWindow(Ui& ui, const QString& folder, db::Connections& registry,
                       QWidget* parent = nullptr);

    // Opens the saved layout in a report window.
    std::function<void(const QString& path)> open;

    Page page() const;
    // The table the fields page lists (its name, not its name in words).
    QString currentTable() const;
    const reports::wizard::Choices& choices() const { return choices_; }

  private:
    void readSchema();
    void showPage(Page page);
    bool leavePage();
    // Tables no relation joins are made into a report only when the user says so.
    bool unrelatedTablesAccepted();
    void finish();
    void refreshLists();
    void fillFieldList();
    // Takes the style and title into the choices and shows the summary of them all.
    void showSummary();

    Ui& ui_;
    QString folder_;
    QString acceptedWarning_;  // the unrelated tables the user agreed to
    db::Connections& registry_;
    reports::wizard::DataSource source_;
    reports::wizard::Choices choices_;

    QLabel* step_;
    QStackedWidget* pages_;
    QComboBox* database_;
    QLabel* connection_;
    QStandardItemModel* tables_;
    QStandardItemModel* chosenTables_;
    QListView* tableList_;
    QListView* chosenTableList_;
    QComboBox* table_;
    QStandardItemModel* fields_;
    QStandardItemModel* chosenFields_;
    QListView* fieldList_;
    QListView* chosenFieldList_;
    QStandardItemModel* relations_;
    QStandardItemModel* chosenRelations_;
    QListView* relationList_;
    QListView* chosenRelationList_;
    QStandardItemModel* groupCandidates_;
    QStandardItemModel* groups_;
    QListView* groupCandidateList_;
    QListView* groupList_;
    QStandardItemModel* sortCandidates_;
    QStandardItemModel* sorts_;
    QListView* sortCandidateList_;
    QListView* sortList_;
    QCheckBox* descending_;
    QComboBox* style_;
    QLineEdit* title_;
    QPlainTextEdit* summary_;
    QPushButton* back_;
    QPushButton* next_;
    QPushButton* finish_;
    QPushButton* cancel_;
    QList<reports::wizard::Relation> offered_;  // the relations between the chosen tables
};

}  // namespace tolvane
