#include "drawings/entity_tag.h"

namespace tolvane::tag {

namespace {

enum Position { Kind = 0, Ref1, Ref2, Ref3, Ref4, Assoc, Src, Dst, Marker, Count };

const cad::XData* own(const cad::Entity& e) {
    const cad::XData* x = e.xdataFor(kApp);
    if (!x || x->items.isEmpty() || x->items.last().value != kApp) return nullptr;
    return x;
}

QString read(const cad::Entity& e, int position) {
    const cad::XData* x = own(e);
    return x && position < x->count() ? x->items[position].value : QString();
}

bool write(cad::Entity& e, int position, const QString& value) {
    if (!own(e)) return false;
    cad::XData* x = e.xdataFor(kApp);
    if (position >= x->count()) return false;
    x->items[position].value = value;
    return true;
}

}  // namespace

QStringList itemNames() {
    return {QStringLiteral("Entity_Type"), QStringLiteral("DB_Ref_1"), QStringLiteral("DB_Ref_2"),
            QStringLiteral("DB_Ref_3"),    QStringLiteral("DB_Ref_4"), QStringLiteral("Assoc"),
            QStringLiteral("SRC"),         QStringLiteral("DST"),      kApp};
}

bool isOwn(const cad::Entity& e) {
    return own(e) != nullptr;
}

bool tagEntity(cad::Entity& e, const QString& kind, const QString& ref1, const QString& ref2,
               const QString& ref3, const QString& ref4, const QString& assoc, const QString& src,
               const QString& dst) {
    if (!e.xdata.isEmpty()) return false;
    const QStringList names = itemNames();
    const QString values[Count] = {kind, ref1, ref2, ref3, ref4, assoc, src, dst, kApp};
    cad::XData x;
    x.app = kApp;
    for (int i = 0; i < Count; ++i) x.add(names[i], 1000, values[i]);
    e.xdata.append(x);
    return true;
}

QString kindOf(const cad::Entity& e) {
    return read(e, Kind);
}
QString ref1(const cad::Entity& e) {
    // Looked up by name: the one reference some readers find that way.
    const cad::XData* x = own(e);
    const cad::XDataItem* item = x ? x->item(QStringLiteral("DB_REF_1")) : nullptr;
    return item ? item->value : QString();
}
QString ref2(const cad::Entity& e) {
    return read(e, Ref2);
}
QString ref3(const cad::Entity& e) {
    return read(e, Ref3);
}
QString assoc(const cad::Entity& e) {
    return read(e, Assoc);
}
QString src(const cad::Entity& e) {
    return read(e, Src);
}
QString dst(const cad::Entity& e) {
    return read(e, Dst);
}

bool setRef1(cad::Entity& e, const QString& value) {
    return write(e, Ref1, value);
}
bool setRef2(cad::Entity& e, const QString& value) {
    return write(e, Ref2, value);
}
bool setRef3(cad::Entity& e, const QString& value) {
    return write(e, Ref3, value);
}
bool setAssoc(cad::Entity& e, const QString& value) {
    return write(e, Assoc, value);
}
bool setSrc(cad::Entity& e, const QString& value) {
    return write(e, Src, value);
}
bool setDst(cad::Entity& e, const QString& value) {
    return write(e, Dst, value);
}

CurrentTag& currentTag() {
    static CurrentTag record;
    return record;
}

void loadCurrentTag(const cad::Entity& e) {
    CurrentTag& c = currentTag();
    c.values.clear();
    const cad::XData* x = own(e);
    for (int i = 0; i < Count; ++i)
        c.values << (x && i < x->count() ? x->items[i].value : QString());
}

void clearCurrentTag() {
    currentTag().values.clear();
}

QString field(const QString& text, int k) {
    if (k < 0 || k > 5) return {};
    return text.split(QLatin1Char('|')).value(k);
}

const QList<CatalogueEntry>& blockCatalogue() {
    static const QList<CatalogueEntry> entries = [] {
        QList<CatalogueEntry> list;
        auto add = [&](const QString& kind, std::initializer_list<const char*> names) {
            for (const char* n : names) list.append({QString::fromLatin1(n), kind});
        };
        add(kind::Jack, {"FN_JACK_SD", "FN_JACK_S", "FN_JACK_D", "HN_JACK_SD", "HN_JACK_S",
                         "HN_JACK_D", "JACK1_1_SD", "JACK1_1_S", "JACK1_1_D"});
        add(kind::JBox, {"JBOX_S", "JBOX_D", "JBOX_1_S", "JBOX_1_D"});
        add(kind::Pointer, {"POINTER_S", "POINTER_D"});
        add(kind::Router, {"RTR_S", "RTR_D"});
        add(QString(), {"LOOPIN", "TERM", "TERM_50", "TERM_75"});
        return list;
    }();
    return entries;
}

std::optional<CatalogueEntry> catalogueEntry(const QString& blockName) {
    for (const CatalogueEntry& c : blockCatalogue()) {
        if (c.name.compare(blockName, Qt::CaseInsensitive) == 0) return c;
    }
    return std::nullopt;
}

QString tooltipFor(const QString& k) {
    if (k == kind::Jack) return QStringLiteral("Double-click this Jack\nto assign it to the DB");
    if (k == kind::JBox) return QStringLiteral("Double-click this J-Box\nto edit its attributes");
    if (k == kind::Pointer)
        return QStringLiteral(
            "Double-click the source side\nof a Pointer to Link it\nto another Pointer");
    if (k == kind::Router)
        return QStringLiteral("Double-click this Router XP\nto edit its attributes");
    if (k == kind::EquipmentBlock)
        return QStringLiteral("Double-click this Equipment Block\nto assign it to the database");
    if (k == kind::DABlock)
        return QStringLiteral("Double-click this DA Block\nto assign it to the database");
    return {};
}

QString tagInsertedBlock(cad::Entity& insert) {
    if (insert.kind != cad::EntityKind::Insert) return {};
    const std::optional<CatalogueEntry> entry = catalogueEntry(insert.blockName);
    if (!entry || entry->kind.isEmpty()) return {};
    if (!tagEntity(insert, entry->kind)) return {};
    insert.tooltip = tooltipFor(entry->kind);
    return entry->kind;
}

cad::PickFilter ofKind(const QString& kind) {
    return [kind](const cad::Entity& e) { return kindOf(e) == kind; };
}

}  // namespace tolvane::tag
