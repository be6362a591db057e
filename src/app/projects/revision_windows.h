// The window that compares two issues of the cable schedule, or an issue and the cables as
// they are now: the lines added, removed and changed, exported as the "Cable Changes" report
// (PDF or Excel), and the changed cables clouded on their open sheets on request. It only calls
// the revision services.
#pragma once

#include <QDialog>
#include <QSet>
#include <functional>
#include <optional>

#include "db/database.h"
#include "db/records/revisions.h"

class QComboBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tolvane {

class ErrorHandler;
class Ui;

struct RevisionWindowServices {
    QString appFolder;
    QString projectFolder;
    QString comparedBy;  // the user's identity, under which the report's lines are kept
    // Clouds the cables on the open drawings under the label; returns how many were clouded.
    std::function<int(const QSet<qint64>& cableIds, const QString& label)> cloud;
};

class CompareRevisionsWindow : public QDialog {
    Q_OBJECT
  public:
    CompareRevisionsWindow(Ui& ui, RevisionWindowServices services, db::Connections& registry,
                           QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // False (the user told) when the project has no issued revision to compare.
    bool load();
    // Compares the two sides chosen.
    void compare();
    const QList<db::CableChangeLine>& lines() const { return lines_; }

  private:
    std::optional<qint64> side(const QComboBox* box) const;
    QString compared() const;
    void exportAs(int format);
    void cloud();

    Ui& ui_;
    RevisionWindowServices services_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    QList<db::CableChangeLine> lines_;
    std::optional<qint64> from_, to_;  // of the lines shown
    QComboBox* fromBox_;
    QComboBox* toBox_;
    QLabel* summary_;
    QStandardItemModel* model_;
    QTableView* table_;
    QPushButton* pdf_;
    QPushButton* excel_;
    QPushButton* cloud_;
};

}  // namespace tolvane
