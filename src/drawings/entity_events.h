// What the program does when entities are added to a drawing or double-clicked: standard
// block inserts get their tag and tooltip (with the first-use tips of their kind), and a
// double-click runs the command of the entity's kind through the command router.
#pragma once

#include <QString>
#include <functional>

#include "cad/document.h"
#include "drawings/entity_tag.h"

namespace tolvane {

class Ui;
class SettingsStore;
class CommandRouter;
class Drawing;

class EntityEvents {
  public:
    // Tips after a new tag: closeTips() always, then showTipsModal(topic) when the user
    // setting of the kind's topic is not "0".
    struct Tips {
        std::function<void()> closeTips;
        std::function<void(const QString& topic)> showTipsModal;
    };
    // Whether the project has jackfields (jack double-click).
    using HasJackfields = std::function<bool()>;

    EntityEvents(Ui& ui, SettingsStore& settings, CommandRouter& router, Tips tips,
                 HasJackfields hasJackfields);

    // An entity was added to a drawing: an insert of a standard block is tagged by its kind
    // and given its tooltip. Returns the kind written, "" when nothing was.
    QString entityAdded(cad::Entity& entity);

    // A double-click on an entity of the drawing, by the kind of its tag.
    void doubleClicked(Drawing& drawing, const QString& handle);
    // Whether a double-click on the entity runs a command: a double-click takes the nearest
    // such entity under the pick box (a cable's end over a block's pin line is the cable).
    static bool answersDoubleClick(const cad::Entity& e);

    // Routes the key with this entity as the one its command works on, instead of asking
    // for one (a double-click, the entity's own entries of the context menu). The command
    // reads it through the picked... functions below while it runs.
    void runOn(Drawing& drawing, const QString& handle, const QString& key);

    // The jack handed to the command running now in this drawing; "" at any other time.
    QString pickedJack(const Drawing& drawing) const { return picked(drawing, {tag::kind::Jack}); }
    // The equipment block (or DA block) handed to the command running now; "" otherwise.
    QString pickedEquipment(const Drawing& drawing) const {
        return picked(drawing, {tag::kind::EquipmentBlock, tag::kind::DABlock});
    }
    // The cable handed to the command running now in this drawing; "" otherwise.
    QString pickedCable(const Drawing& drawing) const {
        return picked(drawing, {tag::kind::Cable});
    }
    // The pointer handed to the link command running now in this drawing; "" otherwise.
    QString pickedPointer(const Drawing& drawing) const {
        return picked(drawing, {tag::kind::Pointer});
    }

    // The tips topic of a kind ("EQUIP", "JACK", ...); "" for kinds without one.
    static QString tipTopic(const QString& kind);

    // After a new tag of this kind was written (here or by a command that tags what it
    // placed): the tips window is closed and opened on the kind's topic unless its setting
    // hides it.
    void tipsAfterTagging(const QString& kind);
    // A command that places many tagged blocks at once (a jackfield's jacks) holds the tips
    // while it places them; releasing shows them once, for the last kind tagged meanwhile.
    void holdTips() { ++held_; }
    void releaseTips();

  private:
    Ui& ui_;
    SettingsStore& settings_;
    CommandRouter& router_;
    Tips tips_;
    HasJackfields hasJackfields_;
    QString picked(const Drawing& drawing, std::initializer_list<QString> kinds) const;
    const Drawing* pickedDrawing_ = nullptr;
    QString picked_;
    QString pickedKind_;
    int held_ = 0;
    QString heldKind_;
};

}  // namespace tolvane
