#include "drawings/styles.h"

#include <algorithm>
#include <cmath>

#include "drawings/drawing.h"
#include "drawings/layers.h"

namespace tolvane {

namespace {

// Style changes are not steps of undo (the undo stack records entities only).
void styleChanged(Drawing& drawing) {
    drawing.setModified(true);
    drawing.changed();
}

}  // namespace

std::optional<double> fieldNumber(const QString& caption, const QString& text, double least,
                                  QString* problem) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    QString field = caption.trimmed();
    if (field.endsWith(QLatin1Char(':'))) field.chop(1);
    if (!ok || !std::isfinite(v)) {
        *problem = QStringLiteral("%1 must be a number (\"%2\" is not one).").arg(field, text);
        return std::nullopt;
    }
    if (v < least) {
        *problem = QStringLiteral("%1 must be at least %2.").arg(field).arg(least);
        return std::nullopt;
    }
    return v;
}

QString textStyleNameProblem(const cad::Document& doc, const QString& name) {
    if (const QString why = dxfNameProblem(name, QStringLiteral("text style")); !why.isEmpty())
        return why;
    if (const cad::TextStyle* taken = doc.textStyle(name.trimmed()))
        return QStringLiteral("There is a text style named %1 already.").arg(taken->name);
    return {};
}

QString dimStyleNameProblem(const cad::Document& doc, const QString& name) {
    if (const QString why = dxfNameProblem(name, QStringLiteral("dimension style")); !why.isEmpty())
        return why;
    if (const cad::DimStyle* taken = doc.dimStyle(name.trimmed()))
        return QStringLiteral("There is a dimension style named %1 already.").arg(taken->name);
    return {};
}

QString addTextStyle(Drawing& drawing, cad::TextStyle style) {
    if (const QString why = textStyleNameProblem(drawing.document(), style.name); !why.isEmpty())
        return why;
    style.name = style.name.trimmed();
    drawing.document().addTextStyle(style);
    styleChanged(drawing);
    return {};
}

QString addDimStyle(Drawing& drawing, cad::DimStyle style) {
    if (const QString why = dimStyleNameProblem(drawing.document(), style.name); !why.isEmpty())
        return why;
    style.name = style.name.trimmed();
    drawing.document().addDimStyle(style);
    drawing.document().settings().dimStyle = style.name;
    styleChanged(drawing);
    return {};
}

void applyTextStyle(Drawing& drawing, const cad::TextStyle& style) {
    const cad::TextStyle* old = drawing.document().textStyle(style.name);
    if (old && *old == style) return;
    drawing.document().addTextStyle(style);
    styleChanged(drawing);
}

void applyDimStyle(Drawing& drawing, const cad::DimStyle& style) {
    const cad::DimStyle* old = drawing.document().dimStyle(style.name);
    if (old && *old == style) return;
    drawing.document().addDimStyle(style);
    styleChanged(drawing);
}

bool isStandardDimStyle(const QString& name) {
    return name.trimmed().compare(QLatin1String("STANDARD"), Qt::CaseInsensitive) == 0;
}

QString removeDimStyle(Drawing& drawing, const QString& name) {
    if (isStandardDimStyle(name))
        return QStringLiteral("Cannot remove the STANDARD Dimension Style");
    cad::Document& doc = drawing.document();
    if (!doc.removeDimStyle(name))
        return QStringLiteral("There is no dimension style named %1.").arg(name);
    if (!doc.dimStyle(doc.settings().dimStyle))
        doc.settings().dimStyle = doc.dimStyles().first().name;
    styleChanged(drawing);
    return {};
}

PointStyle PointStyle::of(int mode, double size) {
    PointStyle s;
    s.shape = std::clamp(mode & 7, 0, 4);
    s.circle = mode & 32;
    s.square = mode & 64;
    s.size = size;
    return s;
}

PointStyle pointStyle(const cad::Document& doc) {
    return PointStyle::of(doc.settings().pointMode, doc.settings().pointSize);
}

void applyPointStyle(Drawing& drawing, const PointStyle& style) {
    const cad::DrawingSettings& now = drawing.document().settings();
    if (now.pointMode == style.mode() && now.pointSize == style.size) return;
    drawing.document().settings().pointMode = style.mode();
    drawing.document().settings().pointSize = style.size;
    styleChanged(drawing);
}

}  // namespace tolvane
