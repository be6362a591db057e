#include "drawings/entity_events.h"

#include <QScopeGuard>
#include <tuple>
#include <utility>

#include "drawings/command_router.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "shell/command_table.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

EntityEvents::EntityEvents(Ui& ui, SettingsStore& settings, CommandRouter& router, Tips tips,
                           HasJackfields hasJackfields)
    : ui_(ui),
      settings_(settings),
      router_(router),
      tips_(std::move(tips)),
      hasJackfields_(std::move(hasJackfields)) {}

QString EntityEvents::tipTopic(const QString& kind) {
    if (kind == tag::kind::EquipmentBlock) return QStringLiteral("EQUIP");
    if (kind == tag::kind::Jack) return QStringLiteral("JACK");
    if (kind == tag::kind::Cable) return QStringLiteral("CABLE");
    if (kind == tag::kind::JBox) return QStringLiteral("JBOX");
    if (kind == tag::kind::Router) return QStringLiteral("RTR");
    if (kind == tag::kind::Pointer) return QStringLiteral("POINTER");
    return {};
}

void EntityEvents::releaseTips() {
    if (held_ > 0 && --held_ == 0 && !heldKind_.isEmpty())
        tipsAfterTagging(std::exchange(heldKind_, QString()));
}

void EntityEvents::tipsAfterTagging(const QString& kind) {
    if (held_ > 0) {
        heldKind_ = kind;
        return;
    }
    // Never while the command that placed it may still ask for picks: after it.
    if (router_.running()) {
        if (heldKind_.isEmpty())
            router_.whenIdle([this] {
                if (held_ == 0 && !heldKind_.isEmpty())
                    tipsAfterTagging(std::exchange(heldKind_, QString()));
            });
        heldKind_ = kind;
        return;
    }
    if (tips_.closeTips) tips_.closeTips();
    // Kinds without a topic (DA blocks, cable numbers, furniture) open no tips.
    const QString topic = tipTopic(kind);
    if (topic.isEmpty() || !tips_.showTipsModal) return;
    static const QHash<QString, QString> settingOf = {
        {QStringLiteral("EQUIP"), setting::ShowEquipTips},
        {QStringLiteral("JACK"), setting::ShowJackTips},
        {QStringLiteral("CABLE"), setting::ShowCableTips},
        {QStringLiteral("JBOX"), setting::ShowJboxTips},
        {QStringLiteral("RTR"), setting::ShowRtrTips},
        {QStringLiteral("POINTER"), setting::ShowPointerTips}};
    if (settings_.read(settingOf.value(topic)) == QLatin1String("0")) return;
    tips_.showTipsModal(topic);
}

QString EntityEvents::entityAdded(cad::Entity& entity) {
    // Whatever goes wrong here must not stop the command that added the entity.
    try {
        const QString kind = tag::tagInsertedBlock(entity);
        if (!kind.isEmpty()) tipsAfterTagging(kind);
        return kind;
    } catch (const std::exception&) {
        return {};
    }
}

QString EntityEvents::picked(const Drawing& drawing, std::initializer_list<QString> kinds) const {
    if (&drawing != pickedDrawing_) return {};
    for (const QString& k : kinds)
        if (k == pickedKind_) return picked_;
    return {};
}

void EntityEvents::runOn(Drawing& drawing, const QString& handle, const QString& key) {
    const cad::Entity* e = drawing.document().find(handle);
    if (!e) return;
    // Kept for the command's run only, even when it ends by an exception.
    const auto previous = std::make_tuple(pickedDrawing_, picked_, pickedKind_);
    const auto restore =
        qScopeGuard([&] { std::tie(pickedDrawing_, picked_, pickedKind_) = previous; });
    pickedDrawing_ = &drawing;
    picked_ = e->handle;
    pickedKind_ = tag::kindOf(*e);
    router_.route(key);
}

bool EntityEvents::answersDoubleClick(const cad::Entity& e) {
    static const QStringList kinds = {
        tag::kind::EquipmentBlock, tag::kind::DABlock, tag::kind::Cable,  tag::kind::Jack,
        tag::kind::JBox,           tag::kind::Router,  tag::kind::Pointer};
    const QString kind = tag::kindOf(e);
    return !kind.isEmpty() && kinds.contains(kind);
}

void EntityEvents::doubleClicked(Drawing& drawing, const QString& handle) {
    cad::Entity* e = drawing.document().find(handle);
    if (!e) return;
    const QString kind = tag::kindOf(*e);
    if (kind == tag::kind::EquipmentBlock || kind == tag::kind::DABlock) {
        // The command names this block instead of asking for one.
        runOn(drawing, handle, CommandKey("catWAssignSysNames"));
    } else if (kind == tag::kind::Cable) {
        // The command assigns this cable instead of asking for cables.
        runOn(drawing, handle, CommandKey("catWAssignCable"));
    } else if (kind == tag::kind::Jack) {
        if (hasJackfields_ && hasJackfields_())
            runOn(drawing, handle, CommandKey("catWAssignJack"));
        else
            ui_.message(QStringLiteral("Please assign a Jack Field to the project."),
                        MsgButtons::Ok, MsgIcon::Information);
    } else if (kind == tag::kind::JBox || kind == tag::kind::Router) {
        router_.route(CommandKey("catDEditAttrib"));
    } else if (kind == tag::kind::Pointer) {
        if (e->blockName->compare(QLatin1String("POINTER_D"), Qt::CaseInsensitive) == 0)
            runOn(drawing, handle, CommandKey("catWLinkPointer"));
    }
    // Cable numbers, furniture and untagged entities: nothing.
}

}  // namespace tolvane
