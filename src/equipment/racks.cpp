// Racks: placing a rack's systems and working out its budget.
#include "equipment/racks.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>

#include "equipment/system_names.h"

namespace tolvane::equipment {

namespace {

QString key(const QString& location) {
    return location.trimmed().toUpper();
}

QString span(int bottom, int top) {
    return bottom == top ? QStringLiteral("RU %1").arg(bottom)
                         : QStringLiteral("RU %1-%2").arg(bottom).arg(top);
}

}  // namespace

std::optional<int> heightInRu(const std::optional<double>& height, const QString& unit) {
    if (!height || !std::isfinite(*height) || *height <= 0) return std::nullopt;
    const QString u = unit.trimmed();
    double ru = 0;
    if (u.isEmpty() || u.compare(QLatin1String("RU"), Qt::CaseInsensitive) == 0)
        ru = *height;
    else if (u.compare(QLatin1String("in"), Qt::CaseInsensitive) == 0)
        ru = *height / kInchesPerRu;
    else
        return std::nullopt;
    // A panel of 1.72 in is one RU; the tolerance keeps 3.5 in at two RU against rounding.
    const double whole = std::ceil(ru - 1e-9);
    if (whole > 1000) return std::nullopt;
    return int(whole);
}

std::optional<int> elevationRu(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(?:R?U\\s*)?([+-]?\\d{1,6})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toInt();
}

QString budgetNumber(double value) {
    const double rounded = std::round(value * 10) / 10;
    return QString::number(rounded, 'f', std::fmod(std::abs(rounded), 1.0) < 1e-9 ? 0 : 1);
}

QString RackBudget::overLimits() const {
    QStringList out;
    if (overRu()) out << QStringLiteral("RU");
    if (overPower()) out << QStringLiteral("power");
    if (overWeight()) out << QStringLiteral("weight");
    return out.join(QStringLiteral(", "));
}

QList<std::pair<int, int>> RackPlan::freeRuns() const {
    QList<std::pair<int, int>> runs;
    int next = 1;  // the lowest RU not yet accounted for
    auto gapTo = [&](int below) {
        if (below > next) runs << std::pair{next, below - next};
    };
    for (const RackedSystem& s : placed) {
        gapTo(*s.bottom);
        next = std::max(next, s.top() + 1);
    }
    gapTo(rack.height + 1);
    return runs;
}

QString RackPlan::line() const {
    return QStringLiteral("RACK %1 | %2/%3 | %4 | %5 | %6")
        .arg(rack.name)
        .arg(budget.used)
        .arg(budget.height)
        .arg(budgetNumber(budget.watts), budgetNumber(budget.btu), budgetNumber(budget.weight));
}

RackPlan planRack(const db::RackRecord& rack, const QList<SystemInRack>& systems) {
    RackPlan plan;
    plan.rack = rack;
    RackBudget& b = plan.budget;
    b.height = rack.height;
    b.powerLimit = rack.powerLimit;
    b.weightLimit = rack.weightLimit;

    QList<RackedSystem> candidates;
    for (const SystemInRack& in : systems) {
        RackedSystem s;
        s.sysId = in.system.id;
        s.system = fullSystemName(in.system.name, in.system.number);
        s.model = in.system.equipmentName;
        s.manufacturer = in.system.manufacturer;
        s.elevation = in.system.elevation;
        s.bottom = elevationRu(in.system.elevation);
        if (in.physical) {
            s.height = heightInRu(in.physical->height, in.physical->heightUnit);
            s.watts = in.physical->p;
            s.weight = in.physical->weight;
        }
        ++b.systems;
        b.watts += s.watts.value_or(0);
        b.weight += s.weight.value_or(0);
        b.used += s.height.value_or(0);
        auto problem = [&](RackProblemKind kind, const QString& text) {
            plan.problems << RackProblem{kind, rack.name, s.sysId, s.system, text};
        };
        if (!s.bottom)
            problem(RackProblemKind::ElevationNotNumber,
                    QStringLiteral("%1 in %2: the elevation \"%3\" is not a whole number of RU.")
                        .arg(s.system, rack.name, s.elevation));
        else if (!s.height)
            problem(RackProblemKind::HeightUnknown,
                    QStringLiteral("%1 (%2) in %3: the model's height is not known.")
                        .arg(s.system, s.model, rack.name));
        else if (*s.bottom < 1 || s.top() > rack.height)
            problem(RackProblemKind::OutOfRack,
                    QStringLiteral("%1 at %2 sticks out of %3 (%4 RU).")
                        .arg(s.system, span(*s.bottom, s.top()), rack.name)
                        .arg(rack.height));
        else
            candidates << s;
    }
    b.btu = b.watts * kBtuPerWatt;
    b.free = b.height - b.used;

    // From the bottom up; of two at one elevation the older row keeps its place.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const RackedSystem& a, const RackedSystem& c) {
                         if (*a.bottom != *c.bottom) return *a.bottom < *c.bottom;
                         return a.sysId < c.sysId;
                     });
    QList<int> holder(rack.height + 1, -1);  // RU -> index in plan.placed
    for (const RackedSystem& s : candidates) {
        int met = -1;
        for (int ru = *s.bottom; ru <= s.top() && met < 0; ++ru) met = holder[ru];
        if (met >= 0) {
            const RackedSystem& other = plan.placed[met];
            plan.problems << RackProblem{RackProblemKind::Overlap, rack.name, s.sysId, s.system,
                                         QStringLiteral("%1 at %2 overlaps %3 at %4 in %5.")
                                             .arg(s.system, span(*s.bottom, s.top()), other.system,
                                                  span(*other.bottom, other.top()), rack.name)};
            continue;
        }
        for (int ru = *s.bottom; ru <= s.top(); ++ru) holder[ru] = int(plan.placed.size());
        plan.placed << s;
    }
    std::stable_sort(plan.problems.begin(), plan.problems.end(),
                     [](const RackProblem& a, const RackProblem& c) { return a.sysId < c.sysId; });
    return plan;
}

std::variant<db::RackRecord, QString> rackFromEntry(const RackEntry& entry) {
    db::RackRecord rack;
    rack.name = entry.name.trimmed();
    if (rack.name.isEmpty()) return QStringLiteral("A rack needs a name.");
    bool ok = false;
    const double height = entry.height.trimmed().toDouble(&ok);
    const std::optional<int> ru = ok ? heightInRu(height, entry.heightUnit) : std::nullopt;
    if (!ru) return QStringLiteral("The height of a rack is a number above zero, in RU or in.");
    rack.height = *ru;
    const auto limit = [](const QString& text, std::optional<double>& into) {
        if (text.trimmed().isEmpty()) return true;
        bool number = false;
        const double v = text.trimmed().toDouble(&number);
        if (!number || !std::isfinite(v) || v < 0) return false;
        into = v;
        return true;
    };
    if (!limit(entry.power, rack.powerLimit))
        return QStringLiteral("The power capacity is a number of watts, or empty.");
    if (!limit(entry.weight, rack.weightLimit))
        return QStringLiteral("The weight limit is a number of kilograms, or empty.");
    rack.description = entry.description.trimmed();
    return rack;
}

std::optional<QString> storeRack(db::Connections& registry, db::RackRecord& rack) {
    db::RackTable table(registry);
    db::Transaction tx(db::DbId::Project, registry);
    if (const auto same = table.named(rack.name); same && same->id != rack.id)
        return QStringLiteral("A rack named %1 exists already.").arg(same->name);
    if (rack.id == 0)
        rack.id = table.insert(rack);
    else
        table.update(rack);
    tx.commit();
    return std::nullopt;
}

int createRacks(db::Connections& registry, const QStringList& names) {
    db::RackTable table(registry);
    db::Transaction tx(db::DbId::Project, registry);
    int made = 0;
    for (const QString& name : names) {
        if (name.trimmed().isEmpty() || table.named(name)) continue;
        db::RackRecord rack;
        rack.name = name.trimmed();
        rack.height = kDefaultRackHeight;
        table.insert(rack);
        ++made;
    }
    tx.commit();
    return made;
}

RackBook::RackBook(db::Connections& registry) {
    racks_ = db::RackTable(registry).all();
    const QList<db::SystemRecord> systems = db::SystemTable(registry).all();
    QSet<qint64> models;
    for (const db::SystemRecord& s : systems)
        if (!key(s.location).isEmpty() && s.equipId > 0) models.insert(s.equipId);
    QList<qint64> ids(models.begin(), models.end());
    std::sort(ids.begin(), ids.end());
    const QHash<qint64, db::PhysicalRecord> physical =
        registry.isBound(db::DbId::Equipment) ? db::EquipmentModelTable(registry).physicalOf(ids)
                                              : QHash<qint64, db::PhysicalRecord>();
    for (const db::SystemRecord& s : systems) {
        const QString k = key(s.location);
        if (k.isEmpty()) continue;
        auto& list = byLocation_[k];
        if (list.isEmpty()) locations_ << s.location.trimmed();
        const auto it = physical.constFind(s.equipId);
        list << SystemInRack{
            s, it == physical.constEnd() ? std::nullopt : std::optional<db::PhysicalRecord>(*it)};
    }
}

QList<RackPlan> RackBook::plans(const QStringList& names) const {
    QSet<QString> wanted;
    for (const QString& n : names) wanted.insert(key(n));
    QList<RackPlan> out;
    for (const db::RackRecord& r : racks_) {
        if (!wanted.isEmpty() && !wanted.contains(key(r.name))) continue;
        out << planRack(r, byLocation_.value(key(r.name)));
    }
    return out;
}

QStringList RackBook::undefinedLocations() const {
    QSet<QString> defined;
    for (const db::RackRecord& r : racks_) defined.insert(key(r.name));
    QStringList out;
    for (const QString& l : locations_)
        if (!defined.contains(key(l))) out << l;
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return out;
}

void RackBook::storeBudgets(db::Connections& registry, const QList<RackPlan>& plans) {
    const QDateTime now = QDateTime::currentDateTime();
    QList<db::RackBudgetRow> rows;
    for (const RackPlan& p : plans) {
        const RackBudget& b = p.budget;
        rows << db::RackBudgetRow{p.rack.name, b.height,      b.used,         b.free,
                                  b.systems,   b.watts,       b.powerLimit,   b.btu,
                                  b.weight,    b.weightLimit, b.overLimits(), now};
    }
    db::Transaction tx(db::DbId::Project, registry);
    db::RackBudgetTable(registry).replace(rows);
    tx.commit();
}

}  // namespace tolvane::equipment
