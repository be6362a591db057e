// Equipment blocks generated from a library model: a body (a rectangle, or a triangle pointing
// right for a DA block) with one pin per chosen input on the left and output on the right,
// each with its name attribute and connector text, and the block attributes for system name,
// location, manufacturer, model, alias and the two read-only values. The block is defined in
// the drawing, one insert of it is placed by the user and tagged as an equipment block.
//
// Text placement is chosen so that cable-end resolution finds a pin's attribute at its probe
// points: a destination probe lands on the left edge of an input pin name, a source probe
// inside an output pin name (standard block) or on its top edge (DA block). Where it looks for
// the block itself, half a unit in from a pin line's outer end, no name lies near.
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "cad/document.h"
#include "equipment/library_access.h"
#include "equipment/pins.h"

namespace tolvane {
class Drawing;
namespace db {
class Preferences;
}
}  // namespace tolvane

namespace tolvane::equipment {

enum class BlockMode { Standard, DA };

// The block columns of a preference row.
struct BlockPreferences {
    int pinSpacing = 1;  // BlockPinSpacing (S)
    int width = 4;       // BlockWidth (W)
    int pinWidth = 1;    // blockpinwidth (P), the length of a pin line
    int height = 4;      // BlockHeight, DA blocks
    int color = 7;       // BlockColor, the body
    bool coloredPins = false;
    bool signalLayers = false;  // cableSignalLayer
    bool useDefaultNames = false;
    bool tearSettings = false;
    bool displayPrefs = false;  // blockDisplayPrefs: the values are shown before the name

    // Null or unreadable columns keep the defaults above; sizes below 1 count as 1.
    static BlockPreferences from(const db::Preferences& row);
    // The block preferences every generation uses: they belong to the installation, so they
    // are read from the row of UserID 1 whoever is logged in. Without that row, the defaults.
    static BlockPreferences installation(db::Connections& registry);
};

// The sides of a standard block drawn torn (as a wave): a partial view of the unit.
struct TearSides {
    bool top = false;
    bool left = false;
    bool right = false;
    bool bottom = false;
};

// The generation's own windows. The desktop shows them as modal windows through the Ui seam,
// so that scripts answer them like any other window.
class BlockDialogs {
  public:
    virtual ~BlockDialogs() = default;
    // The block name dialog: the proposed name, possibly edited; nullopt on Cancel.
    virtual std::optional<QString> blockName(const QString& proposed) = 0;
    // The tear dialog.
    virtual TearSides tearSides() = 0;
};

// What the library window hands over: the model and its chosen rows in selection order.
struct BlockRequest {
    qint64 equipmentId = 0;
    QString manufacturerName{};
    QString modelName{};
    BlockMode mode = BlockMode::Standard;
    QList<db::PinRecord> inputs{};
    QList<db::PinRecord> outputs{};
};

// How a pin line is drawn: its colour and layer.
struct PinStyle {
    int color = cad::kColorByLayer;
    QString layer = QStringLiteral("0");
};

// The first free name for a model's block: the first 8 characters of the manufacturer and of
// the model joined by "-", then "v" and a version from 0, raised past every block of that
// name the drawing already holds.
QString nextBlockName(const cad::Document& doc, const QString& manufacturer, const QString& model);

// The entities of the block definition, in the order they are added: body, then per input and
// per output the pin attribute definition, the pin line, the connector text (and the loop
// arc of a loop-through input), then the block attribute definitions. `pinStyle` gives the
// line of each pin (inputs first, then outputs, each in selection order). Texts are measured
// with the text styles of `styles` (the drawing the block goes into; the standard styles when
// null): a row whose names do not fit between the body's sides has them squeezed to fit.
std::vector<cad::Entity> blockEntities(
    const BlockRequest& request, const BlockPreferences& prefs, const TearSides& tear,
    const std::function<PinStyle(const db::PinRecord&)>& pinStyle,
    const cad::Document* styles = nullptr);

// The body width of a standard block: the preference W, grown (in whole units) where a row's
// names would have to be squeezed below legibility to fit between its sides.
double standardWidth(const BlockRequest& request, const BlockPreferences& prefs,
                     const cad::Document& styles);

class BlockGenerator {
  public:
    BlockGenerator(LibraryAccess access, BlockDialogs& dialogs)
        : a_(std::move(access)), dialogs_(dialogs) {}

    static QString noDrawingMessage() {
        return QStringLiteral("Please select a drawing before proceeding");
    }
    static QString daSpacingMessage() {
        return QStringLiteral("DA blocks cannot have a pin spacing of greater than 1");
    }
    static QString missingSignalQuestion(const QString& type);
    static QString duplicateSignalMessage(const QString& type);
    static QString nameTakenMessage(const QString& name);
    static QString emptyNameMessage() { return QStringLiteral("Enter a name for the block."); }
    static QString tooltip(BlockMode mode);
    // What the user is shown before the name when the preference asks for it.
    static QString preferencesSummary(const BlockPreferences& prefs, BlockMode mode);

    // Yes on "Add it Now?" opens the signal-type library through this.
    std::function<void()> openSignalTypes;
    // Called with the new block's name just before the user picks its insertion point (a
    // modal window steps aside, the drawing is zoomed to show the block).
    std::function<void(const QString& block)> beforeInsert;
    // Called with the kind written after an insert was placed and tagged (the drawing's grip
    // set is cleared, the insert selected and the tips of the kind shown).
    std::function<void(const QString& kind)> placed;

    // Runs the whole generation on the drawing; without one the user is told and nothing
    // happens. Returns the handle of the tagged insert, or "" when none was placed (the
    // definition made before a cancelled insertion stays in the drawing).
    QString generate(Drawing* drawing, const BlockRequest& request, const BlockPreferences& prefs);

  private:
    std::optional<QString> chooseName(const cad::Document& doc, const BlockRequest& request,
                                      const BlockPreferences& prefs);
    PinStyle pinStyle(cad::Document& doc, const db::PinRecord& pin, BlockMode mode,
                      const BlockPreferences& prefs);

    LibraryAccess a_;
    BlockDialogs& dialogs_;
};

}  // namespace tolvane::equipment
