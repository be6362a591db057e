// How a bound field shows its value: numbers by a pattern ("#,##0.00", "$#,##0.00", "0%",
// "00"), dates by a Qt date format ("dd/MM/yyyy"), and a few named formats ("Currency",
// "Fixed", "Standard", "Percent", "Short Date", "Long Date", "Yes/No", "True/False", "On/Off").
#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>

namespace tolvane::reports {

// An empty format shows the value as the database gives it (dates as yyyy-MM-dd). A null value
// shows nothing whatever the format.
QString formatValue(const QVariant& value, const QString& format, const QLocale& locale);

// The truth a check box shows: true, a non-zero number, or "true"/"yes" in any case.
bool isTrue(const QVariant& value);

}  // namespace tolvane::reports
