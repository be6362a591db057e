// Small builders for the controls of the library and assignment windows. Every control gets
// its object name here, because batch scripts and tests find controls by those names.
#pragma once

#include <QString>

class QListView;
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

// A read-only single-selection list over model.
QListView* itemList(const char* name, QStandardItemModel* model);

}  // namespace tolvane
