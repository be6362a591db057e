// The style windows of a drawing: text styles (frmTextStyles), dimension styles
// (frmDimStyles) and the point display (frmPointStyle). Each shows a small preview drawn by
// the drawing view over a scratch document, redrawn and zoomed to its extents after every
// change. The rules (names, numbers, STANDARD) are those of drawings/styles.h.
//
// A number field checks its text when it is left: text that is no number (or too small) is
// refused with a message naming the field, and the field takes back its last good value.
// Apply writes every field of the listed style to the drawing; OK writes them too (edits
// the user made are kept however the window is closed with OK); Cancel writes nothing more.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "cad/document.h"
#include "drawings/styles.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace tolvane {

class Drawing;
class DrawingView;
class Ui;

// A drawing view over its own document, filled anew for every change.
class StylePreview : public QWidget {
    Q_OBJECT
  public:
    StylePreview(Ui& ui, QWidget* parent = nullptr);
    ~StylePreview() override;
    // Empties the document, lets `fill` draw into it, and zooms to the extents.
    void redraw(const std::function<void(cad::Document&)>& fill);
    const cad::Document& document() const { return *doc_; }

  private:
    std::unique_ptr<cad::Document> doc_;
    DrawingView* view_;
};

// What the style windows share: the drawing, the preview and the number fields.
class StyleWindow : public QDialog {
    Q_OBJECT
  protected:
    StyleWindow(Ui& ui, Drawing& drawing, const char* name, const QString& title, QWidget* parent);
    // A number field with its caption (which the messages name) and its least value.
    QLineEdit* numberField(const char* name, const QString& caption, double least);
    void setNumber(QLineEdit* field, double value);
    double number(QLineEdit* field) const;
    // Checks every number field; false (after saying why) when one holds no number.
    bool fieldsGood();
    // The fields changed: the preview is drawn again.
    virtual void refresh() = 0;
    void changed() {
        if (!loading_) refresh();
    }

    Ui& ui_;
    Drawing& drawing_;
    StylePreview* preview_;
    bool loading_ = false;

  private:
    struct Field {
        QLineEdit* edit;
        QString caption;
        double least;
        QString good;  // the last text that held a number
    };
    bool check(Field& f);
    QList<Field> fields_;
};

class TextStylesWindow : public StyleWindow {
    Q_OBJECT
  public:
    TextStylesWindow(Ui& ui, Drawing& drawing, QWidget* parent = nullptr);
    // The listed style with the values of the fields.
    cad::TextStyle edited() const;

  private:
    void fillList(const QString& current);
    void load();
    void addStyle();
    bool apply();
    void refresh() override;

    QComboBox* style_;
    QComboBox* font_;
    QCheckBox *bold_, *italic_, *underline_, *strikeout_;
    QLineEdit* height_;
    QLineEdit* width_;
};

class DimStylesWindow : public StyleWindow {
    Q_OBJECT
  public:
    DimStylesWindow(Ui& ui, Drawing& drawing, QWidget* parent = nullptr);
    cad::DimStyle edited() const;

  private:
    void fillList(const QString& current);
    void load();
    void newStyle();
    void removeStyle();
    void pickColor(int* color, QLabel* label);
    bool apply();
    void refresh() override;

    QComboBox* style_;
    QLineEdit *precision_, *scale_, *extension_, *offset_, *arrowSize_, *height_, *padding_;
    QCheckBox* visible_;
    QComboBox *arrow_, *textStyle_, *orientation_, *justification_;
    QLabel *extensionColorText_, *textColorText_;
    int extensionColor_ = cad::kColorByBlock;
    int textColor_ = cad::kColorByBlock;
    bool showExtension1_ = true, showExtension2_ = true;
};

class PointStyleWindow : public StyleWindow {
    Q_OBJECT
  public:
    PointStyleWindow(Ui& ui, Drawing& drawing, QWidget* parent = nullptr);
    PointStyle edited() const;

  private:
    void ok();
    void refresh() override;

    QList<QRadioButton*> shapes_;
    QCheckBox *circle_, *square_;
    QLineEdit* size_;
};

}  // namespace tolvane
