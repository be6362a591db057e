// Loading subreports and reading their rows.
#include "reports/subreports.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "reports/report_error.h"
#include "reports/report_renderer.h"
#include "reports/rpx_file.h"

namespace tolvane::reports {

namespace {

// The one spelling of a file in a chain of reports printing inside each other.
QString sameFile(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

}  // namespace

std::optional<QString> linkKey(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return std::nullopt;
    switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return QLatin1Char('n') + QString::number(value.toLongLong());
        case QMetaType::Float:
        case QMetaType::Double: {
            const double d = value.toDouble();
            if (d == std::floor(d) && std::abs(d) < 9e15)
                return QLatin1Char('n') + QString::number(qint64(d));
            return QLatin1Char('n') + QString::number(d, 'g', 17);
        }
        default:
            return QLatin1Char('s') + value.toString();
    }
}

const QList<int>& ChildReport::rowsFor(const QVariant& value) const {
    static const QList<int> none;
    if (childField.isEmpty()) return all;
    const std::optional<QString> key = linkKey(value);
    if (!key) return none;
    const auto it = byLink.constFind(*key);
    return it == byLink.cend() ? none : *it;
}

Subreports::Subreports(QString reportsFolder, QString topPath, RowsOf rowsOf, Say say)
    : folder_(std::move(reportsFolder)),
      top_(topPath.isEmpty() ? QString() : sameFile(topPath)),
      rowsOf_(std::move(rowsOf)),
      say_(std::move(say)) {}

QString Subreports::fileOf(const Control& control) const {
    // Layouts written elsewhere may name their files with backslashes.
    QString file = control.text.trimmed();
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (file.isEmpty()) return {};
    return QDir::isAbsolutePath(file) ? QDir::cleanPath(file)
                                      : QDir::cleanPath(QDir(folder_).filePath(file));
}

QString Subreports::printsEmpty(const Control& control, const QString& reason) {
    const QString name = control.name.isEmpty() ? control.text.trimmed() : control.name;
    return QStringLiteral("The subreport \"%1\" prints empty: %2").arg(name, reason);
}

void Subreports::problem(const QString& text) {
    if (said_.contains(text)) return;
    said_.insert(text);
    if (say_) say_(text);
}

const ChildReport* Subreports::child(const Control& control, const ChildReport* parent) {
    auto it = children_.find(&control);
    if (it == children_.end()) it = children_.emplace(&control, load(control, parent)).first;
    return it->second.get();
}

std::unique_ptr<ChildReport> Subreports::load(const Control& control, const ChildReport* parent) {
    const QString path = fileOf(control);
    if (path.isEmpty()) {
        problem(printsEmpty(control, QStringLiteral("it names no report layout file")));
        return nullptr;
    }
    auto child = std::make_unique<ChildReport>();
    child->path = path;
    child->within = parent ? parent->within : (top_.isEmpty() ? QStringList() : QStringList{top_});
    const QString same = sameFile(path);
    if (child->within.contains(same)) {
        problem(printsEmpty(control, QStringLiteral("%1 is a report it prints in; a report "
                                                    "cannot print inside itself")
                                         .arg(QDir::toNativeSeparators(path))));
        return nullptr;
    }
    child->within << same;
    try {
        child->layout = readRpx(path);
    } catch (const ReportError& e) {
        problem(printsEmpty(control, e.reason()));
        return nullptr;
    }
    const QString link = control.format.trimmed();
    if (!link.isEmpty()) {
        const QStringList sides = link.split(QLatin1Char('='));
        if (sides.size() != 2 || sides[0].trimmed().isEmpty() || sides[1].trimmed().isEmpty()) {
            problem(printsEmpty(control, QStringLiteral("its link \"%1\" is not child=parent (a "
                                                        "field of its query, \"=\" and a field "
                                                        "of the report it prints in)")
                                             .arg(link)));
            return nullptr;
        }
        child->childField = sides[0].trimmed();
        child->parentField = sides[1].trimmed();
    }
    try {
        if (const std::unique_ptr<RecordSource> rows = rowsOf_(child->layout)) {
            rows->start();
            child->fields = rows->fields();
            const int columns = int(child->fields.size());
            while (rows->next()) {
                QVariantList row(columns);
                for (int i = 0; i < columns; ++i) row[i] = rows->value(i);
                child->rows << std::move(row);
            }
        }
    } catch (const ReportError& e) {
        problem(printsEmpty(
            control, QStringLiteral("%1 (%2)").arg(e.reason(), QDir::toNativeSeparators(path))));
        return nullptr;
    }
    child->all.reserve(child->rows.size());
    for (int i = 0; i < child->rows.size(); ++i) child->all << i;
    if (!child->childField.isEmpty()) {
        const int column = columnOfField(child->fields, child->childField);
        if (column < 0) {
            problem(printsEmpty(
                control, QStringLiteral("its link names the field \"%1\", which the query of %2 "
                                        "does not give (it gives %3)")
                             .arg(child->childField, QDir::toNativeSeparators(path),
                                  child->fields.join(QStringLiteral(", ")))));
            return nullptr;
        }
        for (int i = 0; i < child->rows.size(); ++i)
            if (const std::optional<QString> key = linkKey(child->rows[i][column]))
                child->byLink[*key] << i;
    }
    return child;
}

}  // namespace tolvane::reports
