// The bill of materials: what a project uses, counted from its database and priced from the
// equipment library, kept under a report name (tblBOMMaster, one line per item in tblBOM) and
// printed by the stock report reports/general/BOM.RPX filtered by that name.
//
// Connectors are counted at the cable ends recorded in tblCables and tblChildCables,
// equipment by its assigned units (tblSystems), jackfields by their project rows (tblJF) and
// cable types by the summed length of their cables. Every section is one GROUP BY query on
// the project and one query on the library for all of its items; a line whose item the
// library lacks keeps its count and has no vendors, costs or extensions.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "db/database.h"
#include "db/records/bills_of_materials.h"
#include "reports/record_source.h"

namespace tolvane {
class Ui;
}

namespace tolvane::reports {

// The sections a bill may include, in the order they are generated. Panels and routers are
// offered but count nothing yet.
enum class BomSection {
    OutputConnectors,
    InputConnectors,
    Equipment,
    JackFields,
    CableTypes,
    ChildOutputConnectors,
    ChildInputConnectors,
    Panels,
    Routers,
};
constexpr int kBomSectionCount = 9;

QList<BomSection> allBomSections();
// The box that offers the section ("Child Output Connectors").
QString bomBoxTitle(BomSection section);
// The BOMClass its lines carry ("Child Cable Source Connectors"); empty for the sections that
// produce no lines.
QString bomClass(BomSection section);

// The stock report that prints a bill, relative to the application folder.
QString bomReportPath();

class BillOfMaterials {
  public:
    BillOfMaterials(Ui& ui, db::Connections& registry) : ui_(ui), registry_(registry) {}

    // The project's bills by name.
    QList<db::BomBill> bills();
    bool exists(const QString& name);

    // The name given for a new bill: false (the user told why) when it is empty or a bill of
    // that name exists.
    bool acceptNewName(const QString& name);

    // Makes a new bill: the master row and the lines of the chosen sections, in one
    // transaction. Refuses (the user told, nothing written) a project without cables or
    // without systems, whatever the sections, and a name that acceptNewName refuses. Returns
    // the number of lines written. Throws DbError (nothing written) when the database refuses.
    std::optional<int> create(const QString& name, const QDate& date,
                              const QList<BomSection>& sections);

    // The lines of a bill, by section (BOMClass) and item.
    QList<db::BomLine> lines(const QString& name);

    // The lines of the bill as an SQL condition on tblBOM that holds no text of the user's (the
    // bill is named by its row identity), for grids whose models cannot bind values; empty when
    // there is no such bill.
    QString linesCondition(const QString& name);

    // Ext1 = QTY x Cost1 and Ext2 = QTY x COST2 on every line of the bill: run before every
    // print, so that quantities and costs edited in the grid are priced anew.
    void recomputeExtensions(const QString& name);

    // Asks "Delete NAME? ..." and on Yes removes the bill and its lines together. True when it
    // was deleted.
    bool remove(const QString& name);

  private:
    Ui& ui_;
    db::Connections& registry_;
};

// The filter the stock report is opened with to show one bill: as an expression a user could
// type (the name's quotes doubled) and as the parameterized condition the report runs.
QString bomFilterExpression(const QString& name);
DataFilter bomFilter(const QString& name);

}  // namespace tolvane::reports
