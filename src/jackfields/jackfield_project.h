// Jackfields of a project: a library model given a system name and number becomes one row of
// tblJF and one row of tblJFRowCol per jack position (rows lettered from the row start
// letter, columns numbered from the column start number), written together or not at all.
// Also the arithmetic of building a jackfield into a drawing: which block each column gets
// and where it stands.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"

namespace tolvane {
class Drawing;
class Ui;
}  // namespace tolvane

namespace tolvane::jackfields {

// A number shown with at least two digits: 7 reads "07", 123 stays "123".
QString twoDigits(qint64 n);

// The row start letter a typed text gives: its first character in upper case; nullopt for
// an empty text or a character below "A" (the field is cleared with a beep).
std::optional<QChar> rowStartLetter(const QString& typed);

// The library model a project jackfield is made from.
struct JackfieldModel {
    qint64 id = 0;
    QString name;
    int rows = 0;
    int columns = 0;
    QString frontConn;
    QString rearConn;
};

// What the user gives the jackfield in the project.
struct ProjectJackfield {
    QString sysName;
    qint64 number = 1;
    QString location;
    QString elevation;
    QString signalType;
    QChar rowStart = QLatin1Char('A');
    int columnStart = 1;
};

// Why a model cannot become a project jackfield with these values ("" when it can): no rows
// or columns, rows lettered past "Z", an empty name.
QString refusal(const JackfieldModel& model, const ProjectJackfield& jf);

// A jackfield of the project as stored.
struct StoredJackfield {
    qint64 id = 0;       // JFID
    qint64 modelId = 0;  // JackFieldID
    ProjectJackfield jf;
    int rows = 0;
    int columns = 0;
};

class JackfieldProject {
  public:
    explicit JackfieldProject(db::Connections& registry) : registry_(registry) {}

    // One above the highest number of the system name; 1 for a name not yet used.
    qint64 nextNumber(const QString& sysName);
    bool exists(const QString& sysName, qint64 number);
    // The system names of the project's jackfields, sorted.
    QStringList names();
    // The jackfields of a system name by number.
    QList<StoredJackfield> ofName(const QString& sysName);
    std::optional<StoredJackfield> find(const QString& sysName, qint64 number);
    // Writes the jackfield and its positions in one transaction and returns its JFID.
    // Throws DbError (nothing written) when the database refuses.
    qint64 assign(const JackfieldModel& model, const ProjectJackfield& jf);

  private:
    db::Connections& registry_;
};

// How the columns of a jackfield are drawn.
enum class JackSide { Source, Destination, Both };
struct BuildChoice {
    QString style = QStringLiteral("J");  // the preference "defaultJack": J, FN or HN
    JackSide side = JackSide::Both;
    bool individual = false;  // both rows as single jacks, the first row then the second
    bool separateOddEven = false;
    double spacing = 1.0;  // the preference "jfspacing"
};

// One jack block of a build: the block name, where it stands, the column it stands for and
// which rows it carries (0 the first row, 1 the second).
struct JackPlacement {
    QString block;
    QPointF at;
    int column = 0;  // 0-based column index
    QList<int> rows;
};

// The blocks of a build of `columns` columns at `origin`, in build order. The jacks stand in
// one line up the drawing, `spacing` apart (down for a negative spacing); with odd and even
// jacks separated every second jack stands 5 units to the right, half a spacing further on,
// so that the two lines interleave. The offset is never reset within a build: the second
// row of an individual build continues the line after the first.
QList<JackPlacement> buildLayout(int columns, QPointF origin, const BuildChoice& choice);

// Builds the project jackfield `jfid` into the drawing at `origin`, as one undo step and one
// transaction: a jack block per column (per position for individual jacks) with its row
// letters, "JF" (system name and number), "COL" and, when `showConnectors`, the rear
// connector on "AConn" and "BConn" (only attributes the block has are written); its tag
// names the jackfield and its positions, and each position records the sheet and that it is
// built. On a failure part-way the user is told "Errors Occurred. Operation Aborted" and what
// was built so far stays, drawing and records alike. Returns the jacks built.
QStringList buildJackfield(Drawing& drawing, Ui& ui, qint64 jfid, QPointF origin,
                           const BuildChoice& choice, bool showConnectors,
                           db::Connections& registry);

// The user's preferences for building: the jack style (defaultJack), the spacing (jfspacing)
// and whether the connectors are shown (displayJackConn).
struct BuildPreferences {
    QString style = QStringLiteral("FN");
    double spacing = 2;
    bool showConnectors = true;
};
BuildPreferences buildPreferences(int userId, db::Connections& registry);

// Why a jackfield of these rows cannot be built ("" when it can): a jack block carries one
// or two rows.
QString buildRefusal(int rows);

// The build as the user runs it: the insertion point is asked (a cancel ends quietly), then
// whether odd and even jacks stand apart, for one row whether it is a source, for two rows
// whether the jacks are individual; then the jackfield is built (buildJackfield). Returns
// the jacks built.
QStringList buildInteractively(Drawing& drawing, Ui& ui, qint64 jfid, const BuildPreferences& prefs,
                               db::Connections& registry);

}  // namespace tolvane::jackfields
