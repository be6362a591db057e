// Lookups over the report layout: the data control's database, the order of its rows, the
// sections in print order and the detail's bound fields.
#include "reports/report_layout.h"

#include <algorithm>

namespace tolvane::reports {

std::optional<db::DbId> databaseForKey(const QString& key) {
    const QString k = key.trimmed().toUpper();
    if (k == QLatin1String("EQUIPMENT")) return db::DbId::Equipment;
    if (k == QLatin1String("PROJECT_SPECIFIC")) return db::DbId::Project;
    if (k == QLatin1String("PM")) return db::DbId::PM;
    return std::nullopt;
}

QString keyForDatabase(db::DbId id) {
    switch (id) {
        case db::DbId::Equipment:
            return QStringLiteral("EQUIPMENT");
        case db::DbId::PM:
            return QStringLiteral("PM");
        case db::DbId::Project:
        case db::DbId::Blank:
            break;
    }
    return QStringLiteral("PROJECT_SPECIFIC");
}

QString orderByClause(const QList<SortField>& keys, const QuoteColumn& quote) {
    if (keys.isEmpty()) return {};
    QStringList order;
    for (const SortField& k : keys)
        order << quote(k.table, k.field) + (k.descending ? QStringLiteral(" DESC ") : QString());
    return QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
}

QList<SortField> rowOrder(const ReportLayout& layout) {
    if (layout.sorts.isEmpty()) return {};
    QList<SortField> keys;
    for (const Group& g : layout.groups) keys << SortField{{}, g.field, false};
    return keys + layout.sorts;
}

QList<SectionRef> sectionsInOrder(const ReportLayout& layout) {
    QList<SectionRef> refs{{SectionKind::ReportHeader}, {SectionKind::PageHeader}};
    for (int g = 0; g < layout.groups.size(); ++g) refs << SectionRef{SectionKind::GroupHeader, g};
    refs << SectionRef{SectionKind::Detail};
    for (int g = int(layout.groups.size()) - 1; g >= 0; --g)
        refs << SectionRef{SectionKind::GroupFooter, g};
    refs << SectionRef{SectionKind::PageFooter} << SectionRef{SectionKind::ReportFooter};
    return refs;
}

const Section* sectionAt(const ReportLayout& layout, const SectionRef& ref) {
    switch (ref.kind) {
        case SectionKind::ReportHeader:
            return &layout.reportHeader;
        case SectionKind::PageHeader:
            return &layout.pageHeader;
        case SectionKind::Detail:
            return &layout.detail;
        case SectionKind::PageFooter:
            return &layout.pageFooter;
        case SectionKind::ReportFooter:
            return &layout.reportFooter;
        case SectionKind::GroupHeader:
        case SectionKind::GroupFooter:
            if (ref.group < 0 || ref.group >= layout.groups.size()) return nullptr;
            return ref.kind == SectionKind::GroupHeader ? &layout.groups[ref.group].header
                                                        : &layout.groups[ref.group].footer;
    }
    return nullptr;
}

Section* sectionAt(ReportLayout& layout, const SectionRef& ref) {
    // A group's sections live in a shared list: reach them through the list's non-const
    // access, so that a layout copied for an edit gets its own groups before it changes.
    if (ref.kind == SectionKind::GroupHeader || ref.kind == SectionKind::GroupFooter) {
        if (ref.group < 0 || ref.group >= layout.groups.size()) return nullptr;
        Group& g = layout.groups[ref.group];
        return ref.kind == SectionKind::GroupHeader ? &g.header : &g.footer;
    }
    return const_cast<Section*>(sectionAt(std::as_const(layout), ref));
}

int detailColumnWidth(const PageSetup& page, const Section& detail) {
    const int n = std::max(1, detail.columns);
    return (page.printableWidth() - (n - 1) * detail.columnSpacing) / n;
}

QList<const Control*> detailFields(const ReportLayout& layout) {
    QList<const Control*> fields;
    for (const Control& c : layout.detail.controls)
        if (c.kind == ControlKind::Field || c.kind == ControlKind::CheckBox) fields << &c;
    // Controls on one line (tops within half a line of each other) read left to right.
    std::stable_sort(fields.begin(), fields.end(), [](const Control* a, const Control* b) {
        if (std::abs(a->rect.top() - b->rect.top()) > 150) return a->rect.top() < b->rect.top();
        return a->rect.left() < b->rect.left();
    });
    return fields;
}

}  // namespace tolvane::reports
