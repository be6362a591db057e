// The drawing part of the main window's status bar.
#include "app/drawing/drawing_status.h"

#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

#include "app/drawing/drawing_windows.h"

namespace tolvane {

DrawingStatus::DrawingStatus(QStatusBar& bar, DrawingWindows& drawings)
    : QObject(&bar), drawings_(drawings) {
    auto* where = new QLabel(&bar);
    where->setObjectName(QStringLiteral("lblCoordinates"));
    // Wide enough for large coordinates, so that the buttons beside it do not move as it
    // changes.
    where->setMinimumWidth(
        where->fontMetrics().horizontalAdvance(QStringLiteral("-00000.0000, -00000.0000")));
    where->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar.addPermanentWidget(where);
    connect(&drawings_, &DrawingWindows::cursorMoved, where, [where](QPointF p) {
        where->setText(QStringLiteral("%1, %2").arg(p.x(), 0, 'f', 4).arg(p.y(), 0, 'f', 4));
    });
    // The drawing aids, beside the coordinates: each button switches its aid as its key does.
    struct AidButton {
        const char *name, *text, *tip;
        DrawingAid aid;
    };
    const AidButton aidButtons[] = {
        {"btnSnap", "SNAP", "Snap to the snap spacing (F9)", DrawingAid::Snap},
        {"btnGrid", "GRID", "Show the grid (F7)", DrawingAid::Grid},
        {"btnOrtho", "ORTHO", "Draw horizontally or vertically (F8)", DrawingAid::Ortho},
        {"btnOsnap", "OSNAP", "Running object snaps (F3)", DrawingAid::OSnap}};
    for (const AidButton& a : aidButtons) {
        auto* button = new QToolButton(&bar);
        button->setObjectName(QString::fromLatin1(a.name));
        button->setText(QString::fromLatin1(a.text));
        button->setToolTip(tr(a.tip));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);  // the drawing keeps the keyboard
        bar.addPermanentWidget(button);
        connect(button, &QToolButton::clicked, this, [this, aid = a.aid] {
            drawings_.toggleAid(drawings_.active(), aid);
            update();
        });
        buttons_.append({button, a.aid});
    }
    connect(&drawings_, &DrawingWindows::aidsChanged, this, &DrawingStatus::update);
    update();
}

void DrawingStatus::update() {
    DrawingWindow* w = drawings_.active();
    for (const auto& [button, aid] : buttons_) {
        const QSignalBlocker quiet(button);
        // Snap, grid and ortho belong to a drawing; OSNAP to every drawing.
        button->setEnabled(w || aid == DrawingAid::OSnap);
        button->setChecked(drawings_.aidOn(w, aid));
    }
}

}  // namespace tolvane
