// Builders for named controls.
#include "app/shell/widget_helpers.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>

namespace tolvane {

QPushButton* namedButton(const char* name, const QString& caption) {
    auto* b = named(new QPushButton(caption), name);
    b->setAutoDefault(false);
    return b;
}

WizardButtons wizardButtons() {
    WizardButtons b{namedButton("cmdBack", QObject::tr("< Back")),
                    namedButton("cmdNext", QObject::tr("Next >")),
                    namedButton("cmdFinish", QObject::tr("Finish")),
                    namedButton("cmdCancel", QObject::tr("Cancel")), new QHBoxLayout};
    b.row->addStretch(1);
    for (QPushButton* button : {b.back, b.next, b.finish, b.cancel}) b.row->addWidget(button);
    return b;
}

QString fieldCaption(db::DbKind kind, const QString& field) {
    QString spelled = field;
    for (const db::TableDef& t : db::tables(kind))
        for (const db::ColumnDef& c : t.columns)
            if (c.name.compare(field, Qt::CaseInsensitive) == 0) spelled = c.name;
    return fieldCaption(spelled);
}

QString fieldCaption(const QString& field) {
    // Fields whose names are abbreviated or run together.
    static const QHash<QString, QString> kCaptions = {
        {"cableno", "Cable No."},
        {"cablenoprefix", "Cable No. Prefix"},
        {"srcsys", "Source System"},
        {"destsys", "Destination System"},
        {"srcpin", "Source Pin"},
        {"destpin", "Destination Pin"},
        {"srcconn", "Source Connector"},
        {"destconn", "Destination Connector"},
        {"srcloc", "Source Location"},
        {"destloc", "Destination Location"},
        {"srcalias", "Source Alias"},
        {"dstalias", "Destination Alias"},
        {"displayasda", "Display as DA"},
        {"equipmenth", "Height"},
        {"equipmenthvalue", "Height Value"},
        {"cableguage", "Gauge"},
        {"cablecharz", "Impedance"},
        {"sysnum", "System Number"},
        {"sysname", "System Name"},
        {"sysid", "System ID"},
        {"equipid", "Equipment ID"},
        {"lockedby", "Locked By"},
        {"replacedby", "Replaced By"},
        {"paircolorcode", "Pair Color Code"},
        {"conncost1", "Cost 1"},
        {"conncost2", "Cost 2"},
        {"connvendor1", "Vendor 1"},
        {"connvendor2", "Vendor 2"},
        {"cablecorenumber", "Core Number"},
        {"cabledescription", "Description"},
        {"cablemulticore", "Multicore"},
        {"multicore", "Multicore"},
        {"cabletype", "Cable Type"},
        {"cabletypemanu", "Cable Manufacturer"},
        {"cablemanu", "Cable Manufacturer"},
        {"cableconductors", "Conductors"},
        {"availablecores", "Available Cores"},
        {"pairnumber", "Pair Number"},
        {"parentno", "Parent No."},
    };
    if (const auto it = kCaptions.constFind(field.toLower()); it != kCaptions.constEnd())
        return *it;
    // Otherwise the words of a CamelCase name: a capital after a small letter or a digit, or
    // the last capital of a run before a small letter, starts a word ("ManufacturerID").
    QString out;
    for (int i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c == QLatin1Char('_')) {
            out += QLatin1Char(' ');
            continue;
        }
        if (i > 0 && c.isUpper()) {
            const QChar before = field[i - 1];
            const bool next = i + 1 < field.size() && field[i + 1].isLower();
            if (before.isLower() || before.isDigit() || (before.isUpper() && next))
                out += QLatin1Char(' ');
        }
        out += c;
    }
    if (!out.isEmpty()) out[0] = out[0].toUpper();
    return out.simplified();
}

void moveClearOf(QWidget& window, const QRect& target) {
    const QRect frame = window.frameGeometry();
    if (target.isEmpty() || !frame.intersects(target)) return;
    const QScreen* screen = window.screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(frame.topLeft(), frame.size());
    const int gap = 8;
    // Right of it, left of it, below it, above it: the first place the screen holds.
    const QPoint places[] = {{target.right() + gap, frame.top()},
                             {target.left() - gap - frame.width(), frame.top()},
                             {frame.left(), target.bottom() + gap},
                             {frame.left(), target.top() - gap - frame.height()}};
    for (QPoint at : places) {
        QRect moved(at, frame.size());
        // Kept on the screen along the side it was not moved on.
        if (moved.top() < room.top()) moved.moveTop(room.top());
        if (moved.bottom() > room.bottom()) moved.moveBottom(room.bottom());
        if (moved.left() < room.left()) moved.moveLeft(room.left());
        if (moved.right() > room.right()) moved.moveRight(room.right());
        if (!moved.intersects(target)) {
            window.move(moved.topLeft());
            return;
        }
    }
}

void showChild(QMdiArea& area, QMdiSubWindow* child) {
    QList<QMdiSubWindow*> others;
    bool maximised = false;
    for (QMdiSubWindow* w : area.subWindowList()) {
        if (w == child || !w->isVisible()) continue;
        others << w;
        maximised = maximised || w->isMaximized();
    }
    if (others.isEmpty() || maximised) {
        child->showMaximized();
        return;
    }
    const QSize room = area.viewport()->size();
    constexpr int kStep = 28;  // about a title bar
    const int offset = kStep * int(others.size() % 8);
    child->resize(std::max(320, room.width() * 4 / 5), std::max(240, room.height() * 4 / 5));
    child->move(offset, offset);
    child->showNormal();
}

QListView* itemList(const char* name, QStandardItemModel* model) {
    auto* list = named(new QListView, name);
    list->setModel(model);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

QWidget* ListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                    const QModelIndex& index) const {
    auto* combo = new QComboBox(parent);
    combo->addItems(items_(index));
    return combo;
}

void ListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* combo = static_cast<QComboBox*>(editor);
    combo->setCurrentIndex(combo->findText(index.data().toString()));
}

void ListDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
    const QString text = static_cast<QComboBox*>(editor)->currentText();
    if (text != index.data().toString()) model->setData(index, text);
}

}  // namespace tolvane
