// frmInsert: the block-insert dialog of Insert... (catDInsert). It lists the drawing's
// insertable blocks with a picture of the one selected, loads further blocks from block
// files (Browse...), and on OK names the block to insert; the insert itself and the
// equipment tag are the placement routine's.
#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QListWidget;

namespace tolvane {

class Ui;
class Drawing;

class InsertBlockDialog : public QDialog {
    Q_OBJECT
  public:
    // blockFolder: where Browse... starts (the block libraries of the application folder).
    InsertBlockDialog(Drawing& drawing, Ui& ui, const QString& blockFolder,
                      QWidget* parent = nullptr);

    // The block selected; "" when none is.
    QString block() const;
    // Lists the drawing's blocks again, selecting `select` when given.
    void reload(const QString& select = {});
    // Browse...: a block file chosen by the user is loaded into the drawing and selected.
    void browse();

    void accept() override;

  private:
    void showPicture();

    Drawing& drawing_;
    Ui& ui_;
    QString folder_;
    QListWidget* list_;
    QLabel* picture_;
};

// Runs the dialog on the drawing; the block confirmed, nullopt on Cancel.
std::optional<QString> chooseBlockToInsert(Drawing& drawing, Ui& ui, const QString& blockFolder,
                                           QWidget* parent = nullptr);

}  // namespace tolvane
