// The windows drawing commands open: the attribute editor (frmEditAttributes) and the array
// dialog (frmArray). Both run modal through the Ui seam, so scripts answer them with `set`,
// `cell` and `click`.
#pragma once

#include <QDialog>

#include "drawings/draw_commands.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace tolvane {

class Ui;

// Tag and value of each attribute; "Read Only" tags are greyed and cannot be edited.
class AttributeEditor : public QDialog {
    Q_OBJECT
  public:
    AttributeEditor(const QList<AttributeRow>& rows, QWidget* parent = nullptr);
    // The rows with the values as edited.
    QList<AttributeRow> rows() const;

  private:
    QList<AttributeRow> rows_;
    QTableWidget* grid_;
};

// A rectangular array (rows, columns and their spacing) or a polar one (items, angle to fill,
// whether the items turn). OK checks the numbers and says which one is wrong.
class ArrayWindow : public QDialog {
    Q_OBJECT
  public:
    ArrayWindow(Ui& ui, QWidget* parent = nullptr);
    ArrayChoice choice() const { return choice_; }

  private:
    void ok();
    void updateEnabled();

    Ui& ui_;
    ArrayChoice choice_;
    QRadioButton* rectangular_;
    QRadioButton* polar_;
    QLineEdit* rows_;
    QLineEdit* columns_;
    QLineEdit* rowSpacing_;
    QLineEdit* columnSpacing_;
    QLineEdit* count_;
    QLineEdit* angle_;
    QCheckBox* rotate_;
};

// The command windows shown through the Ui seam over a parent window.
CommandWindows commandWindows(Ui& ui, QWidget* parent);

}  // namespace tolvane
