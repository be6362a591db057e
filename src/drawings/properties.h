// The property list: the properties of the selected entities, or of the drawing when nothing
// is selected, as name/value entries in categories, and the change of one of them by name.
// Values are text both ways: points "x,y", choices "number-label" (the number is what is
// stored), colours "BYLAYER", "BYBLOCK" or an index. A value the selected entities do not
// share reads "<VARIES>". No widgets: the pane shows the entries and hands edits back here.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <optional>

namespace tolvane {

class Drawing;
class SettingsStore;
class Ui;

namespace cad {
struct Entity;
}

// How the pane edits an entry's value.
enum class PropertyEditor {
    Text,        // typed: text, a number or a point
    Choice,      // one of `choices`
    Color,       // the colour window
    LineWeight,  // the line-weight window
};

struct PropertyEntry {
    QString name;
    QString category;
    QString value;
    QString description;
    // "number-label" entries (the number is stored), or plain names (layers, styles).
    QStringList choices;
    bool readOnly = false;
    PropertyEditor editor = PropertyEditor::Text;
};

// The heading the entries every selection has are listed under.
inline const QString kGeneralEntities = QStringLiteral("General Entities: ");
inline const QString kVaries = QStringLiteral("<VARIES>");
inline const QString kCoordinateFormat =
    QStringLiteral("Not a recognized coordinate format. Use xxx,yyy.");

// What the drawing properties read and write outside the document: the user's settings (view
// options; may be null, then they show their defaults and cannot be changed) and the view's
// centre (OriginX, OriginY), and the folders it shows (SupportPath, TemplateDrawing).
struct PropertyContext {
    SettingsStore* settings = nullptr;
    std::optional<QPointF> viewCentre;
    QString templatePath;
};

// What the user's settings hold for drawings beyond their views: the undo history a drawing
// keeps (UndoLimit, in megabytes), and for every drawing of the program the font of texts
// whose own font is missing (DwgAlternateFontFile) and the folders searched for the files
// drawings name (SupportPath).
void applyDrawingSettings(Drawing& drawing, const SettingsStore& store);

class PropertyList {
  public:
    PropertyList(Drawing& drawing, Ui& ui, PropertyContext context = {});

    // The entries for the selection (handles of the drawing's current space, or insert
    // attributes); the drawing's own entries when it is empty. Handles that name no entity
    // are left out.
    QList<PropertyEntry> load(const QStringList& selection) const;

    // Writes `text` to the property `name` of every selected entity (one undo step), or of
    // the drawing when the selection is empty. A value that does not fit the property is
    // refused with a message and nothing changes; read-only and unknown properties are
    // refused too. True when the value was written.
    bool change(const QStringList& selection, const QString& name, const QString& text);

    // The last change wrote one of the user's settings (drawing views apply them again).
    bool changedSettings() const { return changedSettings_; }

  private:
    bool refuse(const QString& why) const;

    Drawing& drawing_;
    Ui& ui_;
    PropertyContext context_;
    bool changedSettings_ = false;
};

// "BYLAYER", "BYBLOCK" or the palette index; and back (nullopt when the text is none of them).
QString colorValueText(int color);
std::optional<int> parseColorValue(const QString& text);
// "ByLayer", "ByBlock", "Default" or "0.25 mm" for a weight in hundredths of a millimetre;
// and back, from that text or the number of hundredths.
QString lineWeightText(int weight);
std::optional<int> parseLineWeight(const QString& text);

// The entity's length and area as the property list shows them (0 for kinds without).
double entityLength(const cad::Entity& e);
double entityArea(const cad::Entity& e);

}  // namespace tolvane
