// Drives and reads the controls of a window by object name, the way a user would: batch
// scripts set text boxes, click buttons, select grid rows and read fields through it.
// Setting a control also "leaves" it, so the window's on-leave rules run: text boxes and spin
// boxes emit editingFinished, combo boxes emit activated, check and option buttons toggled.
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

class QObject;
class QWidget;

namespace tolvane {

// The header role under which a grid over database fields gives a column's field name, when
// its displayed header is a caption in words: scripts read and address columns by field.
constexpr int kFieldNameRole = 0x0100 + 0x4646;  // Qt::UserRole + 'FF'

// A control could not be found or does not take the value; the message says which and why.
class DriverError : public std::runtime_error {
  public:
    explicit DriverError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

class WidgetDriver {
  public:
    // Finds the control named NAME inside window (the window itself included): widgets and
    // actions (menu entries) by object name. Throws DriverError when there is none.
    static QObject* find(QWidget* window, const QString& name);

    // `set NAME VALUE`: text box text; combo box item (by text) or edit text; check box 1/0;
    // option button 1 selects it; spin boxes take numbers.
    static void set(QWidget* window, const QString& name, const QString& value);
    // `click NAME`: a button, option button, tab page (selects it) or menu entry (triggers it).
    static void click(QWidget* window, const QString& name);
    // `rows NAME 1,3,4`: selects these 1-based rows of a grid or list, replacing its selection.
    static void selectRows(QWidget* window, const QString& name, const QList<int>& rows);
    // `cell NAME ROW COLUMN VALUE`: edits one cell; COLUMN by header text or field name.
    static void editCell(QWidget* window, const QString& name, int row, const QString& column,
                         const QString& value);

    // `column NAME COLUMN ACTION`: what a user does to a column of a grid with the mouse:
    // `hide` it, drag it to `width N` pixels, or `move N` it to the N-th place among the
    // columns shown. COLUMN by header text or field name.
    static void arrangeColumn(QWidget* window, const QString& name, const QString& column,
                              const QString& action);

    // `print NAME`: "FIELD NAME = VALUE" with " [disabled]" and/or " [hidden]".
    static QString printField(QWidget* window, const QString& name);
    // `print-grid NAME`: "COLUMNS c1 | c2" then "ROW n: v1 | v2" per row, columns in the order
    // they are shown; hidden columns are left out.
    static QStringList printGrid(QWidget* window, const QString& name);
};

}  // namespace tolvane
