#include "drawings/context_menu.h"

#include <QStringList>

#include "drawings/entity_tag.h"
#include "shell/command_table.h"

namespace tolvane {

namespace {

using Does = ContextEntry::Does;

// The entity's own actions: the commands a double-click on its kind would run, and those that
// start from it.
QList<ContextEntry> entityActions(const ContextTarget& t) {
    const auto onIt = [](const char* text, CommandKey key) {
        return ContextEntry{QString::fromLatin1(text), Does::RouteOnEntity, key};
    };
    const auto selected = [](const char* text, CommandKey key) {
        return ContextEntry{QString::fromLatin1(text), Does::RouteOnSelection, key};
    };
    if (t.kind == tag::kind::Cable)
        return {onIt("Assign Cable", "catWAssignCable"),
                {QStringLiteral("Edit Settings"), Does::EditRecord, {}},
                onIt("Trace Signal from here", "catPTrace")};
    if (t.kind == tag::kind::EquipmentBlock || t.kind == tag::kind::DABlock)
        return {onIt("Assign System Name", "catWAssignSysNames"),
                selected("Edit Attributes", "catDEditAttrib")};
    if (t.kind == tag::kind::Jack) return {onIt("Assign Jack", "catWAssignJack")};
    if (t.kind == tag::kind::JBox || t.kind == tag::kind::Router)
        return {selected("Edit Attributes", "catDEditAttrib")};
    // Only the destination side of a pair is linked from (as its double-click does).
    if (t.kind == tag::kind::Pointer &&
        t.blockName.compare(QLatin1String("POINTER_D"), Qt::CaseInsensitive) == 0)
        return {onIt("Link Pointers", "catWLinkPointer")};
    return {};
}

}  // namespace

QList<ContextEntry> contextEntries(const ContextTarget& t) {
    if (t.promptWaiting) {
        QList<ContextEntry> out = {{QStringLiteral("Enter"), Does::Enter, {}},
                                   {QStringLiteral("Cancel"), Does::Cancel, {}}};
        if (!t.promptOptions.isEmpty()) out << ContextEntry{};
        for (const QString& option : t.promptOptions) out << ContextEntry{option, Does::Option, {}};
        return out;
    }
    QList<ContextEntry> out;
    if (t.onEntity) {
        out = entityActions(t);
        if (!out.isEmpty()) out << ContextEntry{};
    }
    if (!t.lastCaption.isEmpty())
        out << ContextEntry{QStringLiteral("Repeat ") + t.lastCaption, Does::Route,
                            CommandKey("catDRestart")};
    out << ContextEntry{QStringLiteral("Properties"), Does::RouteOnSelection,
                        CommandKey("catDProperties")};
    if (t.onEntity || t.hasSelection) {
        out << ContextEntry{};
        out << ContextEntry{QStringLiteral("Erase"), Does::RouteOnSelection,
                            CommandKey("catDErase")}
            << ContextEntry{QStringLiteral("Copy"), Does::RouteOnSelection, CommandKey("catDCopy")}
            << ContextEntry{QStringLiteral("Move"), Does::RouteOnSelection, CommandKey("catDMove")};
    }
    return out;
}

QStringList contextTexts(const QList<ContextEntry>& entries) {
    QStringList out;
    for (const ContextEntry& e : entries)
        if (e.does != Does::Separator) out << e.text;
    return out;
}

}  // namespace tolvane
