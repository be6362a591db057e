// Grid layout files.
#include "app/projects/grid_layout.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "shell/user_file.h"

namespace tolvane {

namespace {

const QString kRoot = QStringLiteral("gridLayout");
const QString kColumn = QStringLiteral("column");
constexpr int kVersion = 1;

}  // namespace

std::optional<GridLayout> readGridLayout(const QString& path) {
    const UserFile file = readUserFile(path);
    if (!file.ok()) return std::nullopt;
    QXmlStreamReader xml(file.bytes);
    if (!xml.readNextStartElement() || xml.name() != kRoot) return std::nullopt;
    if (xml.attributes().value(QStringLiteral("version")).toInt() != kVersion) return std::nullopt;
    GridLayout layout;
    QSet<QString> seen;
    while (xml.readNextStartElement()) {
        if (xml.name() != kColumn) return std::nullopt;
        const QXmlStreamAttributes a = xml.attributes();
        GridColumn c;
        c.field = a.value(QStringLiteral("field")).toString().trimmed();
        bool ok = true;
        if (a.hasAttribute(QStringLiteral("width")))
            c.width = a.value(QStringLiteral("width")).toInt(&ok);
        const QString hidden = a.value(QStringLiteral("hidden")).toString();
        // A column named twice, a width that is no number or a flag that is neither 0 nor 1
        // means the file is not ours: none of it is used.
        if (c.field.isEmpty() || !ok || c.width < 0 || seen.contains(c.field.toLower()) ||
            (!hidden.isEmpty() && hidden != QLatin1String("0") && hidden != QLatin1String("1")))
            return std::nullopt;
        c.hidden = hidden == QLatin1String("1");
        seen.insert(c.field.toLower());
        layout.columns << c;
        xml.skipCurrentElement();
    }
    if (xml.hasError()) return std::nullopt;
    return layout;
}

QString writeGridLayout(const QString& path, const GridLayout& layout) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(kRoot);
    xml.writeAttribute(QStringLiteral("version"), QString::number(kVersion));
    for (const GridColumn& c : layout.columns) {
        xml.writeEmptyElement(kColumn);
        xml.writeAttribute(QStringLiteral("field"), c.field);
        xml.writeAttribute(QStringLiteral("width"), QString::number(c.width));
        xml.writeAttribute(QStringLiteral("hidden"),
                           c.hidden ? QStringLiteral("1") : QStringLiteral("0"));
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit()) return file.errorString();
    return {};
}

}  // namespace tolvane
