// Small builders for the controls of the library and assignment windows. Every control gets
// its object name here, because batch scripts and tests find controls by those names.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <functional>

#include "db/schema.h"

class QHBoxLayout;
class QListView;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class QStandardItemModel;

namespace tolvane {

// Gives w the object name and returns it, so a control is built and named in one expression.
template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A command button that does not take Return for itself; Return stays with the window.
QPushButton* namedButton(const char* name, const QString& caption);

// The buttons that move through a wizard's pages (cmdBack, cmdNext, cmdFinish, cmdCancel), in
// a row on the right.
struct WizardButtons {
    QPushButton* back;
    QPushButton* next;
    QPushButton* finish;
    QPushButton* cancel;
    QHBoxLayout* row;
};
WizardButtons wizardButtons();

// The caption in words of a database field for a grid header: "EquipmentName" reads
// "Equipment Name", "SRCSys" "Source System", "paircolorcode" "Pair Color Code".
QString fieldCaption(const QString& field);
// The same for a field of a database of this kind, spelled as the schema spells it (PostgreSQL
// hands names in lower case, without the capitals that mark their words).
QString fieldCaption(db::DbKind kind, const QString& field);

// Shows a new child window of the area at a useful size: maximised when it is the only one
// (or the others are maximised), else at four fifths of the area, cascaded from the others.
void showChild(QMdiArea& area, QMdiSubWindow* child);

// Moves a top-level window (a modal one, say) so that its frame leaves this screen rectangle
// clear: beside it, above or below it, where the screen has room; nothing when it is clear
// already or the rectangle is empty.
void moveClearOf(QWidget& window, const QRect& target);

// A read-only single-selection list over model.
QListView* itemList(const char* name, QStandardItemModel* model);

// Edits a cell with a list whose entries depend on the cell. A choice equal to the cell's value
// writes nothing.
class ListDelegate : public QStyledItemDelegate {
  public:
    ListDelegate(std::function<QStringList(const QModelIndex&)> items, QObject* parent)
        : QStyledItemDelegate(parent), items_(std::move(items)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  private:
    std::function<QStringList(const QModelIndex&)> items_;
};

}  // namespace tolvane
