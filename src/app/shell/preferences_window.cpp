// The preferences window and the calculator command.
#include "app/shell/preferences_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/error_handler.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

namespace pref = db::pref;

namespace {

// The stored styles behind the option buttons, by button id.
const QStringList kJackStyles = {QStringLiteral("FN"), QStringLiteral("HN"), QStringLiteral("J")};
const QStringList kJboxStyles = {QStringLiteral("JB"), QStringLiteral("JB_1")};

// The drawing's standard colours offered by the colour button; any other index may be typed.
const QStringList kBodyColors = {
    QStringLiteral("1 Red"),   QStringLiteral("2 Yellow"),    QStringLiteral("3 Green"),
    QStringLiteral("4 Cyan"),  QStringLiteral("5 Blue"),      QStringLiteral("6 Magenta"),
    QStringLiteral("7 White"), QStringLiteral("8 Dark Gray"), QStringLiteral("9 Light Gray")};

const QString kUserNameSetting = QStringLiteral("USERNAME");
const QString kUidSetting = QStringLiteral("UID");

QString textOf(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

// Shows text in a list; a stored value the list does not offer is added, so that it is
// neither lost nor silently replaced.
void showInList(QComboBox* combo, const QString& text) {
    if (text.isEmpty()) {
        combo->setCurrentIndex(-1);
        return;
    }
    int i = combo->findText(text);
    if (i < 0) {
        combo->addItem(text);
        i = combo->count() - 1;
    }
    combo->setCurrentIndex(i);
}

void checkNone(QButtonGroup* group) {
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}

void checkId(QButtonGroup* group, int id) {
    if (QAbstractButton* b = group->button(id)) {
        b->setChecked(true);
    } else {
        checkNone(group);
    }
}

QGroupBox* groupBox(const QString& title, QLayout* layout) {
    auto* box = new QGroupBox(title);
    box->setLayout(layout);
    return box;
}

QWidget* page(const char* name, QLayout* layout) {
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    if (auto* box = qobject_cast<QBoxLayout*>(layout)) box->addStretch(1);
    w->setLayout(layout);
    return w;
}

}  // namespace

PreferencesWindow::PreferencesWindow(Ui& ui, SettingsStore& settings, db::Connections& registry,
                                     QWidget* parent)
    : QDialog(parent), ui_(ui), settings_(settings), registry_(registry), prefs_(registry) {
    setObjectName(QStringLiteral("frmPreferences"));
    setWindowTitle(tr("Preferences"));
    build();
    loadLists();
    // Opening shows the current user's row; only a user the user chooses is recorded.
    QString name = settings_.read(setting::CurrentUser);
    if (name.isEmpty() || user_->findText(name) < 0) name = QStringLiteral("DEFAULT");
    const int index = user_->findText(name);
    if (index >= 0) {
        user_->setCurrentIndex(index);
        chooseUser(name, false);
    } else {
        user_->setCurrentIndex(-1);
    }
}

// ---- building -----------------------------------------------------------------------------

QLineEdit* PreferencesWindow::lineEdit(const char* name, const QString& column) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    texts_.append({edit, column});
    return edit;
}

QCheckBox* PreferencesWindow::checkBox(const char* name, const QString& caption,
                                       const QString& column) {
    auto* check = new QCheckBox(caption);
    check->setObjectName(QString::fromLatin1(name));
    checks_.append({check, column});
    return check;
}

QRadioButton* PreferencesWindow::option(QButtonGroup* group, int id, const char* name,
                                        const QString& caption) {
    auto* button = new QRadioButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    group->addButton(button, id);
    return button;
}

void PreferencesWindow::build() {
    signalType_ = new QButtonGroup(this);
    nameCase_ = new QButtonGroup(this);
    jackStyle_ = new QButtonGroup(this);
    jboxStyle_ = new QButtonGroup(this);

    user_ = new QComboBox;
    user_->setObjectName(QStringLiteral("cboUser"));
    user_->setMinimumContentsLength(20);
    auto* userRow = new QHBoxLayout;
    userRow->addWidget(new QLabel(tr("User:")));
    userRow->addWidget(user_, 1);

    tabs_ = new QTabWidget;
    tabs_->setObjectName(QStringLiteral("tabPreferences"));
    tabs_->addTab(blocksPage(), tr("Blocks"));
    tabs_->addTab(cablesPage(), tr("Cables"));
    tabs_->addTab(jacksPage(), tr("Jacks and J-Boxes"));
    tabs_->addTab(generalPage(), tr("General"));
    tabs_->addTab(shortcutsPage(), tr("Shortcuts"));

    auto* defaults = new QPushButton(tr("Defaults"));
    defaults->setObjectName(QStringLiteral("cmdDefaults"));
    defaults->setAutoDefault(false);
    auto* done = new QPushButton(tr("Done"));
    done->setObjectName(QStringLiteral("cmdDone"));
    done->setAutoDefault(false);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(done);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(userRow);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);

    connect(user_, &QComboBox::activated, this, [this](int i) {
        runGuarded(errors_, "cboUser_Click", [&] { chooseUser(user_->itemText(i), true); });
    });
    connect(cableManu_, &QComboBox::activated, this,
            [this] { runGuarded(errors_, "cboCableManu_Click", [&] { fillCableTypes({}); }); });
    connect(defaults, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "cmdDefaults_Click", [&] { restoreDefaults(); }); });
    connect(done, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "cmdDone_Click", [&] {
            saveRow();
            accept();
        });
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* PreferencesWindow::blocksPage() {
    blockWidth_ = lineEdit("txtBlockWidth", pref::BlockWidth);
    pinSpacing_ = lineEdit("txtPinSpacing", pref::BlockPinSpacing);
    basePoint_ = new QComboBox;
    basePoint_->setObjectName(QStringLiteral("cboBasePoint"));
    basePoint_->addItems({QStringLiteral("Pin 1"), QStringLiteral("Top Left"),
                          QStringLiteral("Bottom Left"), QStringLiteral("Center")});
    basePoint_->installEventFilter(this);
    bodyColor_ = lineEdit("txtBodyColor", pref::BlockColor);
    auto* pickColor = new QPushButton(tr("..."));
    pickColor->setObjectName(QStringLiteral("cmdBodyColor"));
    pickColor->setAutoDefault(false);
    pinWidth_ = new QComboBox;
    pinWidth_->setObjectName(QStringLiteral("cboPinWidth"));
    for (int w = 1; w <= 5; ++w) pinWidth_->addItem(QString::number(w));

    auto* color = new QHBoxLayout;
    color->addWidget(bodyColor_, 1);
    color->addWidget(pickColor);
    auto* form = new QFormLayout;
    form->addRow(tr("Body Width:"), blockWidth_);
    form->addRow(tr("Pin Spacing:"), pinSpacing_);
    form->addRow(tr("BasePoint Location:"), basePoint_);
    form->addRow(tr("Body Color:"), color);
    form->addRow(tr("Pin Width:"), pinWidth_);
    auto* layout = new QVBoxLayout;
    layout->addLayout(form);
    layout->addWidget(checkBox("chkTearSettings",
                               tr("Display Tear Settings Dialog Upon Block Creation"),
                               pref::BlockTearSettings));
    layout->addWidget(
        checkBox("chkDefaultNames", tr("Use Default Blocknames"), pref::BlockUseDefaultNames));
    layout->addWidget(checkBox("chkBlockPrefs", tr("Display Block Preferences Upon Block Creation"),
                               pref::BlockDisplayPrefs));
    layout->addWidget(checkBox("chkColoredPins", tr("Colored Pins (Based on Signal Type)"),
                               pref::BlockColoredPins));

    // The two bound boxes write their column as soon as their value changes.
    for (auto [edit, column, rule] :
         {std::tuple{blockWidth_, pref::BlockWidth, &db::checkBlockWidth},
          std::tuple{pinSpacing_, pref::BlockPinSpacing, &db::checkPinSpacing}}) {
        connect(edit, &QLineEdit::editingFinished, this, [this, edit, column, rule] {
            runGuarded(errors_, "txtBlock_LostFocus", [&] {
                leaveField(edit, rule);
                if (prefs_.isLoaded() && prefs_.setValue(column, edit->text())) prefs_.save();
            });
        });
    }
    connect(bodyColor_, &QLineEdit::editingFinished, this, [this] {
        runGuarded(errors_, "txtBodyColor_LostFocus", [&] {
            leaveField(bodyColor_, &db::checkColorIndex);
            saveRow();
        });
    });
    connect(pickColor, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "cmdBodyColor_Click", [&] { chooseBodyColor(); }); });
    connect(basePoint_, &QComboBox::activated, this,
            [this] { runGuarded(errors_, "cboBasePoint_Click", [&] { saveRow(); }); });
    return page("tabBlocks", layout);
}

QWidget* PreferencesWindow::cablesPage() {
    autoPlaceDist_ = lineEdit("txtAutoPlaceDist", pref::CablesAutoPlaceDist);
    autoPlaceDist_->setMaximumWidth(60);
    startNo_ = lineEdit("txtStartNo", pref::CablesStartNo);
    cableManu_ = new QComboBox;
    cableManu_->setObjectName(QStringLiteral("cboCableManu"));
    cableType_ = new QComboBox;
    cableType_->setObjectName(QStringLiteral("cboCableType"));

    auto* repeat = new QVBoxLayout;
    repeat->addWidget(
        checkBox("chkAutoRepeat", tr("Automatically repeat drawing cables"), pref::CablesRepeat));
    auto* confirm = new QVBoxLayout;
    confirm->addWidget(checkBox("chkConfirmCable",
                                tr("Confirm cable settings before assignment to the database"),
                                pref::CablesVerifySettings));
    auto* place = new QHBoxLayout;
    place->addWidget(checkBox("chkAutoPlace", tr("Automatically place Jacks, JBoxes, Etc."),
                              pref::CablesAutoPlace),
                     1);
    place->addWidget(autoPlaceDist_);
    auto* pointers = new QVBoxLayout;
    pointers->addWidget(checkBox("chkAutoPointers",
                                 tr("Automatically draw pointers instead of cables"),
                                 pref::CablesAutoPoint));
    auto* signal = new QHBoxLayout;
    signal->addWidget(option(signalType_, 1, "optUseDestination", tr("Use Destination")));
    signal->addWidget(option(signalType_, 0, "optUseSource", tr("Use Source")));
    auto* number = new QFormLayout;
    number->addRow(tr("The Starting Cable Number"), startNo_);
    auto* cableType = new QFormLayout;
    cableType->addRow(tr("Manufacturer:"), cableManu_);
    cableType->addRow(tr("Cable Type:"), cableType_);
    auto* note = new QLabel(
        tr("Used when Confirm Cable Settings is not checked to assign a default CableType."));
    note->setWordWrap(true);
    cableType->addRow(note);

    auto* left = new QVBoxLayout;
    left->addWidget(groupBox(tr("Auto Repeat"), repeat));
    left->addWidget(groupBox(tr("Confirm Cable Settings"), confirm));
    left->addWidget(groupBox(tr("Auto Place"), place));
    left->addWidget(groupBox(tr("Auto Draw Pointers"), pointers));
    left->addWidget(groupBox(tr("Default Signal Type"), signal));
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addLayout(number);
    right->addWidget(groupBox(tr("Default Cable Type"), cableType));
    right->addWidget(checkBox("chkSaveEveryTime", tr("Save document after every cable assignment"),
                              pref::CableSaveEveryTime));
    right->addWidget(checkBox("chkColoredCables", tr("Colored Cables"), pref::CableColorLine));
    right->addWidget(
        checkBox("chkColoredText", tr("Colored Cable Number Text"), pref::CableColorText));
    right->addWidget(checkBox("chkSignalLayer", tr("Create a layer for each Signal Type"),
                              pref::CableSignalLayer));
    right->addWidget(
        checkBox("chkWarnSignal", tr("Warn of Signal Type mismatch"), pref::CableWarnSig));
    right->addStretch(1);
    auto* layout = new QHBoxLayout;
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    connect(autoPlaceDist_, &QLineEdit::editingFinished, this, [this] {
        runGuarded(errors_, "txtAutoPlaceDist_LostFocus",
                   [&] { leaveField(autoPlaceDist_, &db::checkAtLeastOne); });
    });
    connect(startNo_, &QLineEdit::editingFinished, this, [this] {
        runGuarded(errors_, "txtStartNo_LostFocus",
                   [&] { leaveField(startNo_, &db::checkWholeNumber); });
    });
    auto* w = new QWidget;
    w->setObjectName(QStringLiteral("tabCables"));
    w->setLayout(layout);
    return w;
}

QWidget* PreferencesWindow::jacksPage() {
    jfSpacing_ = lineEdit("txtJFSpacing", pref::JfSpacing);
    auto* jack = new QVBoxLayout;
    auto* jackRow = new QHBoxLayout;
    jackRow->addWidget(option(jackStyle_, 0, "optJackFN", tr("FN")));
    jackRow->addWidget(option(jackStyle_, 1, "optJackHN", tr("HN")));
    jackRow->addWidget(option(jackStyle_, 2, "optJackJ", tr("J")));
    jack->addLayout(jackRow);
    jack->addWidget(
        checkBox("chkUseDefaultJack", tr("Use Default Jack Style"), pref::UseDefaultJack));
    auto* jbox = new QVBoxLayout;
    auto* jboxRow = new QHBoxLayout;
    jboxRow->addWidget(option(jboxStyle_, 0, "optJB", tr("JB")));
    jboxRow->addWidget(option(jboxStyle_, 1, "optJB1", tr("JB_1")));
    jbox->addLayout(jboxRow);
    jbox->addWidget(checkBox("chkUseDefaultJB", tr("Use Default J-Box Style"), pref::UseDefaultJb));
    auto* spacing = new QFormLayout;
    spacing->addRow(tr("Jackfield Spacing:"), jfSpacing_);

    auto* layout = new QVBoxLayout;
    layout->addWidget(groupBox(tr("Default Jack Style"), jack));
    layout->addWidget(groupBox(tr("Default J-Box Style"), jbox));
    layout->addWidget(checkBox("chkDisplayJackConn", tr("Display Jack Connectors upon Assignment"),
                               pref::DisplayJackConn));
    layout->addLayout(spacing);
    connect(jfSpacing_, &QLineEdit::editingFinished, this, [this] {
        runGuarded(errors_, "txtJFSpacing_LostFocus",
                   [&] { leaveField(jfSpacing_, &db::checkWholeNumber); });
    });
    return page("tabJacks", layout);
}

QWidget* PreferencesWindow::generalPage() {
    auto* format = new QVBoxLayout;
    format->addWidget(option(nameCase_, int(db::NameCase::AllCaps), "optAllCaps", tr("ALL CAPS")));
    format->addWidget(
        option(nameCase_, int(db::NameCase::LowerCase), "optLowerCase", tr("all lower case")));
    format->addWidget(
        option(nameCase_, int(db::NameCase::TitleCase), "optTitleCase", tr("Title Case")));
    format->addWidget(
        option(nameCase_, int(db::NameCase::NoFormat), "optNoFormat", tr("No FoRmAtting")));

    auto* hide = new QPushButton(tr("Hide All"));
    hide->setObjectName(QStringLiteral("cmdHideTips"));
    auto* show = new QPushButton(tr("Show All"));
    show->setObjectName(QStringLiteral("cmdShowTips"));
    auto* gettingStarted = new QPushButton(tr("Show Getting Started Dialog"));
    gettingStarted->setObjectName(QStringLiteral("cmdShowGettingStarted"));
    for (QPushButton* b : {hide, show, gettingStarted}) b->setAutoDefault(false);
    auto* tips = new QHBoxLayout;
    tips->addWidget(hide);
    tips->addWidget(show);
    tips->addWidget(gettingStarted);

    auto* toolbars = checkBox("chkPersistToolbars",
                              tr("Remember my toolbar positions. Note: this change will not take "
                                 "effect until you restart the application."),
                              pref::GenPersistToolbars);
    auto* layout = new QVBoxLayout;
    layout->addWidget(
        checkBox("chkAutoAlias", tr("Automatically Generate System Aliases"), pref::AutoAlias));
    layout->addWidget(groupBox(tr("String Formatting"), format));
    layout->addWidget(toolbars);
    layout->addWidget(checkBox("chkHideDeleteWarnings", tr("Disable Warn on Delete"),
                               pref::GenHideDeleteWarnings));
    layout->addWidget(groupBox(tr("How To Dialogs:"), tips));

    connect(nameCase_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on && !showing_) runGuarded(errors_, "optFormat_Click", [&] { saveRow(); });
    });
    connect(hide, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "cmdHideTips_Click", [&] { setTipFlags(QStringLiteral("0")); });
    });
    connect(show, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "cmdShowTips_Click", [&] {
            setTipFlags(QStringLiteral("1"));
            ui_.message(QStringLiteral("The How To dialogs will be shown."), MsgButtons::Ok,
                        MsgIcon::Information);
        });
    });
    connect(gettingStarted, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "cmdShowGettingStarted_Click", [&] {
            settings_.write(setting::GettingStarted, QStringLiteral("1"));
            ui_.message(QStringLiteral("The Getting Started will be shown on start-up."),
                        MsgButtons::Ok, MsgIcon::Information);
        });
    });
    return page("tabGeneral", layout);
}

QWidget* PreferencesWindow::shortcutsPage() {
    const QStringList captions = {tr("= Equipment Library"),
                                  tr("= Cables"),
                                  tr("= Jack Field Library"),
                                  tr("= Router Library"),
                                  tr("= Assign SysNames"),
                                  tr("= Edit Sysnames"),
                                  tr("= Assign Cables"),
                                  tr("= Delete Cables"),
                                  tr("= Assign Jack"),
                                  tr("= Delete Jack"),
                                  tr("= Link Pointers"),
                                  tr("= Add Jack to Drawing"),
                                  tr("= Add JBox to Drawing"),
                                  tr("= Add Router to Drawing"),
                                  tr("= Add Pointer to Drawing"),
                                  tr("= Link Pointers Continue")};
    const QStringList columns = pref::shortcutColumns();
    auto* grid = new QGridLayout;
    const int perColumn = (columns.size() + 1) / 2;
    for (int i = 0; i < columns.size(); ++i) {
        const QByteArray name = "txt" + columns[i].toLatin1();
        QLineEdit* edit = lineEdit(name.constData(), columns[i]);
        edit->setMaximumWidth(60);
        const int row = i % perColumn;
        const int col = (i / perColumn) * 2;
        grid->addWidget(edit, row, col);
        grid->addWidget(new QLabel(captions.value(i)), row, col + 1);
    }
    auto* layout = new QVBoxLayout;
    layout->addWidget(groupBox(tr("Enter Keyboard Shortcuts"), grid));
    return page("tabShortcuts", layout);
}

// ---- behaviour ----------------------------------------------------------------------------

bool PreferencesWindow::eventFilter(QObject* watched, QEvent* event) {
    // The base-point list saves the row when it loses the focus, as the body colour does.
    if (watched == basePoint_ && event->type() == QEvent::FocusOut && isVisible() && !showing_)
        runGuarded(errors_, "cboBasePoint_LostFocus", [&] { saveRow(); });
    return QDialog::eventFilter(watched, event);
}

void PreferencesWindow::loadLists() {
    const QSignalBlocker blockUsers(user_);
    const QSignalBlocker blockManu(cableManu_);
    user_->clear();
    for (const db::PreferenceUser& u : db::preferenceUsers(registry_)) user_->addItem(u.name, u.id);
    cableManu_->clear();
    for (const db::CableManufacturer& m : db::cableManufacturers(registry_))
        cableManu_->addItem(m.name, m.id);
    cableManu_->setCurrentIndex(-1);
}

void PreferencesWindow::chooseUser(const QString& name, bool record) {
    // Leaving a user's row keeps what was changed in it, as Done does.
    if (record && prefs_.isLoaded()) saveRow();
    const std::optional<int> id = db::preferenceUserId(name, registry_);
    if (!id || !prefs_.load(*id)) {
        ui_.message(QStringLiteral("There are no preferences for %1.").arg(name), MsgButtons::Ok,
                    MsgIcon::Information);
        // The list goes back to the user whose row is still shown.
        const QSignalBlocker block(user_);
        user_->setCurrentIndex(prefs_.isLoaded() ? user_->findData(prefs_.userId()) : -1);
        return;
    }
    showRow();
    if (record) {
        Registry::saveAppSetting(settings_, kUserNameSetting, name);
        Registry::saveAppSetting(settings_, kUidSetting, QString::number(*id));
    }
}

void PreferencesWindow::showRow() {
    const QScopedValueRollback<bool> showing(showing_, true);
    for (const auto& [edit, column] : texts_) {
        edit->setText(textOf(prefs_.value(column)));
        accepted_[edit] = edit->text();
    }
    for (const auto& [check, column] : checks_) check->setChecked(prefs_.value(column).toBool());
    showInList(basePoint_, textOf(prefs_.value(pref::BlockBasePoint)));
    showInList(pinWidth_, textOf(prefs_.value(pref::BlockPinWidth)));

    const QVariant useDest = prefs_.value(pref::CablesAssignUseDestType);
    checkId(signalType_, useDest.isNull() ? -1 : int(useDest.toBool()));
    const auto format = db::nameCaseOf(prefs_.value(pref::SysNameFmt));
    checkId(nameCase_, format ? int(*format) : -1);
    const auto indexIn = [](const QStringList& styles, const QString& style) {
        for (int i = 0; i < styles.size(); ++i)
            if (styles[i].compare(style.trimmed(), Qt::CaseInsensitive) == 0) return i;
        return -1;
    };
    checkId(jackStyle_, indexIn(kJackStyles, textOf(prefs_.value(pref::DefaultJack))));
    checkId(jboxStyle_, indexIn(kJboxStyles, textOf(prefs_.value(pref::DefaultJb))));

    const QString manufacturer = textOf(prefs_.value(pref::CableTypeDefManu));
    int m = manufacturer.isEmpty() ? -1 : cableManu_->findText(manufacturer);
    if (m < 0 && !manufacturer.isEmpty()) {
        // Not offered for cable types (any more): kept, with no list of its own.
        cableManu_->addItem(manufacturer);
        m = cableManu_->count() - 1;
    }
    cableManu_->setCurrentIndex(m);
    fillCableTypes(textOf(prefs_.value(pref::CableTypeDefPn)));
}

void PreferencesWindow::fillCableTypes(const QString& selectType) {
    const QSignalBlocker block(cableType_);
    cableType_->clear();
    const QVariant id = cableManu_->currentData();
    if (cableManu_->currentIndex() >= 0 && id.isValid()) {
        for (const db::CableTypeEntry& t : db::cableTypesOf(id, registry_))
            cableType_->addItem(t.type, t.multicore);
    }
    if (showing_) {
        showInList(cableType_, selectType);
    } else {
        // A manufacturer chosen by the user proposes its first cable type.
        cableType_->setCurrentIndex(cableType_->count() > 0 ? 0 : -1);
    }
}

void PreferencesWindow::leaveField(QLineEdit* edit,
                                   db::FieldCheck (*rule)(const QString&, const QString&)) {
    const QString entered = edit->text();
    const db::FieldCheck check = rule(entered, accepted_.value(edit));
    if (check.beep) ui_.beep();
    if (!check.message.isEmpty()) ui_.message(check.message, MsgButtons::Ok, MsgIcon::Information);
    if (check.changed(entered)) edit->setText(check.text);
    accepted_[edit] = check.text;
}

void PreferencesWindow::saveRow() {
    if (!prefs_.isLoaded()) return;
    for (const auto& [edit, column] : texts_) prefs_.setValue(column, edit->text());
    for (const auto& [check, column] : checks_) prefs_.setValue(column, check->isChecked());
    prefs_.setValue(pref::BlockBasePoint, basePoint_->currentText());
    prefs_.setValue(pref::BlockPinWidth, pinWidth_->currentText());
    if (signalType_->checkedId() >= 0)
        prefs_.setValue(pref::CablesAssignUseDestType, signalType_->checkedId() == 1);
    if (nameCase_->checkedId() >= 0) prefs_.setValue(pref::SysNameFmt, nameCase_->checkedId());
    if (jackStyle_->checkedId() >= 0)
        prefs_.setValue(pref::DefaultJack, kJackStyles[jackStyle_->checkedId()]);
    if (jboxStyle_->checkedId() >= 0)
        prefs_.setValue(pref::DefaultJb, kJboxStyles[jboxStyle_->checkedId()]);
    prefs_.setValue(pref::CableTypeDefManu, cableManu_->currentText());
    prefs_.setValue(pref::CableTypeDefPn, cableType_->currentText());
    prefs_.save();
}

void PreferencesWindow::chooseBodyColor() {
    const std::optional<int> chosen = ui_.choose(tr("Body Color"), kBodyColors);
    if (!chosen) return;
    bodyColor_->setText(QString::number(*chosen + 1));
    accepted_[bodyColor_] = bodyColor_->text();
    saveRow();
}

void PreferencesWindow::setTipFlags(const QString& value) {
    for (const QString& flag : setting::tipFlags()) settings_.write(flag, value);
}

void PreferencesWindow::restoreDefaults() {
    if (!prefs_.isLoaded()) return;
    if (ui_.message(QStringLiteral("Restore default preferences?"), MsgButtons::YesNo,
                    MsgIcon::Question) != MsgButton::Yes)
        return;
    prefs_.restoreDefaults();
    prefs_.save();
    showRow();
}

// ---- the calculator -----------------------------------------------------------------------

void runCalculator(Ui& ui, SettingsStore& settings) {
    const QString calculator = settings.read(setting::Calc);
    if (!calculator.isEmpty() && QFileInfo(calculator).isFile() &&
        QProcess::startDetached(calculator, {}))
        return;
    if (ui.message(QStringLiteral("Unable to find Windows Calculator Application. Search Now?"),
                   MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return;
    FileDialogOptions options;
    options.title = QStringLiteral("Search for CALC.EXE. Usually in WINDOWS or SYSTEMS directory");
    options.filter = QStringLiteral("Executables (*)");
    options.proposed = QStringLiteral("CALC.EXE");
    options.folder = QStringLiteral("/usr/bin");
    options.mustExist = true;
    if (const std::optional<QString> chosen = ui.openFile(options))
        settings.write(setting::Calc, *chosen);
}

}  // namespace tolvane
