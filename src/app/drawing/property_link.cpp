// What ties the property list pane to the drawing windows.
#include "app/drawing/property_link.h"

#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/drawing/property_grid.h"
#include "app/shell/panes.h"
#include "drawings/properties.h"
#include "shell/error_handler.h"

namespace tolvane {

PropertyLink::PropertyLink(PropertyListPane& pane, DrawingWindows& drawings, Ui& ui,
                           SettingsStore& settings, ErrorHandler& errors, QObject* parent)
    : QObject(parent),
      pane_(pane),
      drawings_(drawings),
      ui_(ui),
      settings_(settings),
      errors_(errors) {
    pane_.list()->propertyModel()->apply = [this](const QString& name, const QString& text) {
        change(name, text);
    };
    drawings_.showProperties = [this](DrawingWindow& w, const QStringList& selection) {
        show(&w, selection);
    };
}

void PropertyLink::follow(DrawingWindow* window) {
    if (window != of_) show(window, window ? window->view().selection() : QStringList());
}

void PropertyLink::show(DrawingWindow* window, const QStringList& selection) {
    if (window != of_ || (window && follow_.isEmpty())) {
        for (const QMetaObject::Connection& c : std::as_const(follow_)) disconnect(c);
        follow_.clear();
        of_ = window;
        // Values changed by commands, undo and redo, and the file name a save gives, show as
        // they change.
        const auto reload = [this] { show(of_, selection_); };
        if (window)
            follow_ = {connect(&window->drawing(), &Drawing::contentChanged, this, reload),
                       connect(&window->drawing(), &Drawing::titleChanged, this, reload)};
    }
    selection_ = selection;
    if (!window) {
        pane_.list()->setEntries({});
        return;
    }
    PropertyList list(window->drawing(), ui_, context(*window));
    pane_.list()->setEntries(list.load(selection));
}

PropertyContext PropertyLink::context(DrawingWindow& window) const {
    return {&settings_, window.view().view().centre(), drawings_.files().defaultTemplate()};
}

void PropertyLink::change(const QString& name, const QString& text) {
    DrawingWindow* w = of_;
    if (!w) return;
    errors_.guard(QStringLiteral("frmPL"), [&] {
        PropertyList list(w->drawing(), ui_, context(*w));
        list.change(selection_, name, text);
        // A view option written to the settings takes effect in every drawing window.
        if (list.changedSettings()) {
            for (DrawingWindow* other : drawings_.windows()) other->applySettings(settings_);
        }
        // The grid, snap and ortho entries are the drawing's aids.
        w->view().aidsChanged();
        if (aidsChanged) aidsChanged();
        show(w, selection_);
    });
}

}  // namespace tolvane
