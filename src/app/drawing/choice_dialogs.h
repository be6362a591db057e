// The drawing's choice dialogs: a colour from the 255-colour palette or "Same As Layer"
// (frmColor), and a line weight (frmLineWeight). Both are modal windows run through the Ui
// seam, so scripts answer them with `set`, `rows` and `click` like any other window.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QLabel;

namespace tolvane {

class Ui;

// The OK (cmdOK) and Cancel (cmdCancel) buttons of a dialog: OK accepts (or, given `onOk`,
// runs it: a dialog that checks its fields accepts itself), Cancel rejects.
QDialogButtonBox* okCancel(QDialog* dialog, std::function<void()> onOk = {});

// What a colour choice gives: a palette index 1..255, or kSameAsLayer.
constexpr int kSameAsLayer = 256;

class ColorDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ColorDialog(int current, QWidget* parent = nullptr);
    // The colour chosen (valid after OK).
    int color() const { return color_; }
    // "Same As Layer" or the index as text.
    static QString colorText(int color);

  private:
    void pick(int color);

    int color_;
    QLineEdit* index_;
    QLabel* swatch_;
};

// Runs the colour dialog; nullopt when cancelled.
std::optional<int> chooseColor(Ui& ui, int current, QWidget* parent = nullptr);

class LineWeightDialog : public QDialog {
    Q_OBJECT
  public:
    // Weights in hundredths of a millimetre; -1 by layer, -2 by block, -3 the default.
    explicit LineWeightDialog(int current, QWidget* parent = nullptr);
    int weight() const;
    static const QList<int>& weights();
    static QString weightText(int weight);

  private:
    QListWidget* list_;
};

std::optional<int> chooseLineWeight(Ui& ui, int current, QWidget* parent = nullptr);

}  // namespace tolvane
