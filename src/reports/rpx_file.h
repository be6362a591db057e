// Report layout files (.rpx): an XML document of our own, versioned, described in
// docs/file-formats.md. Reading validates everything it takes in; a damaged or foreign file is
// refused with a ReportError that says what is wrong and where.
#pragma once

#include <QByteArray>
#include <QString>

#include "reports/report_layout.h"

namespace tolvane::reports {

// The newest format version this program writes; files of a later version are refused.
constexpr int kRpxVersion = 1;

// Throw ReportError ("Error: " + reason).
ReportLayout parseRpx(const QByteArray& bytes);
ReportLayout readRpx(const QString& path);

QByteArray serializeRpx(const ReportLayout& layout);
// Written to a temporary file in the same folder and renamed over the old one, so that a
// failure leaves the old file as it was. Throws ReportError.
void writeRpx(const QString& path, const ReportLayout& layout);

}  // namespace tolvane::reports
