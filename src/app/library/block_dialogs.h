// The windows of block generation: the block name dialog (frmBlockName), which proposes the
// generated name in an editable list, and the tear dialog (frmTear), which chooses the sides
// of a block drawn torn. Both run modal through the Ui seam, so scripts answer them with `set`
// and `click`.
#pragma once

#include <QDialog>

#include "equipment/block_generator.h"

class QCheckBox;
class QComboBox;

namespace tolvane {

class Ui;

class BlockNameDialog : public QDialog {
    Q_OBJECT
  public:
    explicit BlockNameDialog(const QString& proposed, QWidget* parent = nullptr);
    static QString explanation();
    QString name() const;

  private:
    QComboBox* name_;
};

class TearDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TearDialog(QWidget* parent = nullptr);
    static QString explanation();
    equipment::TearSides sides() const;

  private:
    QCheckBox* top_;
    QCheckBox* left_;
    QCheckBox* right_;
    QCheckBox* bottom_;
    QCheckBox* none_;
};

// The generation's dialogs shown through the Ui seam, parented to a window.
class BlockDialogWindows : public equipment::BlockDialogs {
  public:
    BlockDialogWindows(Ui& ui, QWidget* parent) : ui_(ui), parent_(parent) {}
    std::optional<QString> blockName(const QString& proposed) override;
    equipment::TearSides tearSides() override;

  private:
    Ui& ui_;
    QWidget* parent_;
};

}  // namespace tolvane
