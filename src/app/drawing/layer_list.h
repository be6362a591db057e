// The layer list of the layers toolbar (cboLayer): the layers of the drawing it follows, the
// current one shown, each with its on/off check. Choosing a layer makes it current; a click
// on a check turns its layer on or off and leaves the list open. It follows the drawing's
// changes (the layers window, undo, commands).
#pragma once

#include <QComboBox>
#include <QPointer>

namespace tolvane {

class Ui;
class DrawingWindow;

class LayerList : public QComboBox {
    Q_OBJECT
  public:
    explicit LayerList(Ui& ui, QWidget* parent = nullptr);
    // The drawing window the list shows (null: none, the list is off).
    void follow(DrawingWindow* window);

  private:
    void reload();
    void chosen(int row);
    void switched(int row, bool on);

    Ui& ui_;
    QPointer<DrawingWindow> of_;
    QMetaObject::Connection follow_;
};

}  // namespace tolvane
