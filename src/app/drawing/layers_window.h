// frmLayers: the layers of the active drawing. Each layer's colour (a drawing colour index),
// on, frozen and locked can be changed; new layers are added by name; one is made current.
// OK writes the table through the layers service, which checks it first.
#pragma once

#include <QDialog>

#include "drawings/layers.h"

class QLabel;
class QListWidget;
class QTableWidget;

namespace tolvane {

class Drawing;
class ErrorHandler;
class Ui;

class LayersWindow : public QDialog {
    Q_OBJECT
  public:
    LayersWindow(Ui& ui, Drawing& drawing, QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

  private:
    void fill();
    void addLayer();
    void makeCurrent();
    void ok();
    LayerTable table() const;

    Ui& ui_;
    Drawing& drawing_;
    ErrorHandler* errors_ = nullptr;
    LayerTable original_;
    QString current_;
    QTableWidget* grid_;
    QLabel* currentLabel_;
};

// frmLayouts: the paper layouts of the active drawing, added, renamed and removed at once
// (each through the layouts service, which says what is wrong with a name); Close ends it.
class LayoutsWindow : public QDialog {
    Q_OBJECT
  public:
    LayoutsWindow(Ui& ui, Drawing& drawing, QWidget* parent = nullptr);

  private:
    void fill(const QString& current = {});
    QString chosen() const;
    void addOne();
    void renameOne();
    void removeOne();

    Ui& ui_;
    Drawing& drawing_;
    QListWidget* list_;
};

}  // namespace tolvane
