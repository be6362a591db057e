// Comma-separated text as the library exchange files use it (RFC 4180): fields separated by
// commas, records by line breaks, a field holding a comma, a quote or a line break enclosed
// in double quotes with its quotes doubled. Reading is lenient about line ends (CRLF, LF or
// CR) and strict about quotes, so that a damaged record is reported rather than guessed.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tolvane::equipment {

struct CsvRecord {
    int line = 0;  // 1-based line of the file where the record starts
    QStringList fields;
    QString error;  // empty when the record is well formed
};

// Every record of the text. Blank lines are not records. A malformed record (a quote inside
// an unquoted field, text after a closing quote, a quoted field that never ends) comes back
// with its error and the fields read up to the fault; reading goes on at the next line.
QList<CsvRecord> parseCsv(QStringView text);

// One record as a line without its line end; fields are quoted only when they need it.
QString csvLine(const QStringList& fields);

}  // namespace tolvane::equipment
