// The project's jackfields (tblJF) and their jack positions (tblJFRowCol): typed records, and
// the one place that holds the statements on both tables.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"
#include "db/records/item_count.h"

namespace tolvane::db {

struct JackfieldRecord {
    qint64 id = 0;       // JFID
    qint64 modelId = 0;  // JackFieldID: the model in the jackfield library
    QString sysName;     // JFSysName
    qint64 number = 0;   // JFSysID: the number within the system name
    QString location;    // JFLoc
    QString elevation;   // JFEl
    QString rowStartLetter;
    int columnStart = 0;  // ColStartNo
    QString signalType;
    QString frontConn, rearConn;
    int rows = 0, columns = 0;  // JFRows, JFCols
    QString sheet;              // SHEET
    bool operator==(const JackfieldRecord&) const = default;
};

// One jack position of a project jackfield and whether a jack in some drawing stands for it.
struct JackPosition {
    qint64 id = 0;           // RowColID
    qint64 jackfieldId = 0;  // JFID
    QString row;             // JFRow: the row letter
    QString column;          // JFCol: the column as text ("08")
    int rowNumber = 0;       // JFRowNumber
    QString connector;       // JFConn
    QString sheet;
    bool assigned = false;
    QString source, destination;  // SRC, dest
    bool operator==(const JackPosition&) const = default;
};

class JackfieldTable {
  public:
    explicit JackfieldTable(Connections& registry) : registry_(registry) {}

    std::optional<JackfieldRecord> find(qint64 jfid);
    // The first jackfield of a system name and number.
    std::optional<JackfieldRecord> find(const QString& sysName, qint64 number);
    // By system name and number.
    QList<JackfieldRecord> all();
    bool isEmpty();
    // The jackfields of a system name by number.
    QList<JackfieldRecord> named(const QString& sysName);
    // The system names in use, distinct and sorted.
    QStringList names();
    std::optional<qint64> highestNumber(const QString& sysName);

    // Adds the jackfield (its sheet is left unset); returns its JFID.
    qint64 insert(const JackfieldRecord& r);
    // Removes the jackfield and its positions (positions first).
    void remove(qint64 jfid);

    // The project's jackfields per library model (key: JackFieldID).
    QList<ItemCount> countsByModel();

  private:
    Connections& registry_;
};

// A position marked assigned, with the name and number of its jackfield.
struct AssignedPosition {
    JackPosition position;
    QString sysName;
    qint64 number = 0;
};

class JackPositionTable {
  public:
    explicit JackPositionTable(Connections& registry) : registry_(registry) {}

    // A jackfield's positions by row letter, then as written.
    QList<JackPosition> ofJackfield(qint64 jfid);
    // The positions of one column of a jackfield by row letter.
    QList<JackPosition> inColumn(qint64 jfid, const QString& column);
    // The positions marked assigned, by key.
    QList<AssignedPosition> assigned();

    // Adds the positions (row number, jackfield, row, column and state) in few statements.
    void insert(const QList<JackPosition>& positions);
    // Marks the positions as held (or not) by a jack on `sheet`.
    void mark(const QList<qint64>& ids, bool assigned, const QString& sheet);
    // Frees the positions whose jacks were erased: no sheet, no ends.
    void releaseErased(const QList<qint64>& ids);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
