// The column layout of a data sheet as a user arranged it (order, widths, hidden columns) and
// the small XML file that keeps it between sessions. See docs/file-formats.md.
#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace tolvane {

struct GridColumn {
    QString field{};  // the column's field name, compared without regard to case
    int width = 0;    // pixels; 0 keeps the grid's own width
    bool hidden = false;
    bool operator==(const GridColumn&) const = default;
};

// The columns in the order they are shown, hidden ones included.
struct GridLayout {
    QList<GridColumn> columns{};
    bool operator==(const GridLayout&) const = default;
};

// The layout kept in a file; nullopt when the file is absent or not a layout this program
// wrote (the caller then shows its default layout and leaves the file alone).
std::optional<GridLayout> readGridLayout(const QString& path);
// Writes the layout atomically (a temporary file renamed over the old one), making the folder
// when it is missing. An empty text on success, otherwise the reason.
QString writeGridLayout(const QString& path, const GridLayout& layout);

}  // namespace tolvane
