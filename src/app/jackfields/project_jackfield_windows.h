// The windows that work on the jackfields already in the project: frmAssignJack ties a jack
// of the drawing to a column of a jackfield (the grid shows which positions are built, red
// with their sheet, and which are free, green); frmDeleteJF removes a jackfield with its
// positions. Both step through the project's jackfields by system name and number.
#pragma once

#include <QDialog>
#include <QList>

#include "jackfields/jack_assignment.h"

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace tolvane {

class Drawing;
class ErrorHandler;
class Ui;

// The system-name list and the number of the jackfield shown, with first, previous, next and
// last through the jackfields of that name.
class JackfieldNavigator : public QWidget {
    Q_OBJECT
  public:
    explicit JackfieldNavigator(QWidget* parent = nullptr);
    // Shows the jackfield `showId` when it is among them, else the first.
    void load(const QList<db::JackfieldRecord>& all, qint64 showId = 0);
    // The jackfield shown; nullptr when none.
    const db::JackfieldRecord* current() const;

  Q_SIGNALS:
    void currentChanged();

  private:
    void chooseName(const QString& name);
    void show(int position);

    QList<db::JackfieldRecord> all_;
    QList<db::JackfieldRecord> ofName_;
    int position_ = -1;
    QComboBox* names_;
    QLineEdit* number_;
};

class AssignJackWindow : public QDialog {
    Q_OBJECT
  public:
    AssignJackWindow(Ui& ui, Drawing& drawing, const QString& jack, bool showConnectors,
                     db::Connections& registry, QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

  private:
    void fillGrid();
    void ok();

    Ui& ui_;
    Drawing& drawing_;
    QString jack_;
    bool showConnectors_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    JackfieldNavigator* navigator_;
    QTableWidget* grid_;
    QComboBox* column_;
    QStringList columns_;
};

class DeleteJackfieldWindow : public QDialog {
    Q_OBJECT
  public:
    DeleteJackfieldWindow(Ui& ui, db::Connections& registry, QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // False (told, with a beep) when the project has no jackfield: the window is not shown.
    bool load();

  private:
    void remove();

    Ui& ui_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    JackfieldNavigator* navigator_;
};

// The message when the project has no jackfield.
QString noJackfieldsMessage();

}  // namespace tolvane
