// The settings store: machine and run settings as strings in an INI file (organisation
// "Tolvane", application "Tolvane_v2", under XDG_CONFIG_HOME). A value that was never
// written, or cannot be read, reads as empty. Registry gives key/value access to sections
// of the same file, including the per-application "SETTINGS" section.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

namespace tolvane {

// Value names of the store.
namespace setting {
inline const QString InstallPath = QStringLiteral("InstallPath");
inline const QString AppCounter = QStringLiteral("AppCounter");
inline const QString UID = QStringLiteral("UID");
inline const QString AssocDwg = QStringLiteral("ASSOC_DWG");
inline const QString PmPath = QStringLiteral("PM_PATH");
inline const QString EqPath = QStringLiteral("EQ_PATH");
inline const QString CurrentProject = QStringLiteral("CURRENT_PROJECT");
inline const QString CurrentUser = QStringLiteral("CURRENT_USER");
inline const QString PrevUser = QStringLiteral("PREVUSER");
inline const QString Calc = QStringLiteral("CALC");
inline const QString GettingStarted = QStringLiteral("GETTING_STARTED");
inline const QString ShowFirstTips = QStringLiteral("ShowFIRSTTips");
inline const QString ShowDrawTips = QStringLiteral("ShowDrawTips");
inline const QString ShowEquipTips = QStringLiteral("ShowEquipTips");
inline const QString ShowJackTips = QStringLiteral("ShowJackTips");
inline const QString ShowCableTips = QStringLiteral("ShowCableTips");
inline const QString ShowJboxTips = QStringLiteral("ShowJBOXTips");
inline const QString ShowRtrTips = QStringLiteral("ShowRTRTips");
inline const QString ShowPointerTips = QStringLiteral("ShowPOINTERTips");
inline const QString ShowLpTips = QStringLiteral("ShowLPTips");
inline const QString ShowCreateBlockTips = QStringLiteral("ShowCreateBlockTips");
inline const QString ShowAddIoTips = QStringLiteral("ShowADDIOTips");
// Drawing view options applied to each drawing window when it starts; empty keeps the default.
inline const QString BkColor = QStringLiteral("BkColor");
inline const QString CrossSize = QStringLiteral("CrossSize");
inline const QString GripSize = QStringLiteral("GripSize");
inline const QString GripColor = QStringLiteral("GripColor");
inline const QString OSnapColor = QStringLiteral("OSnapColor");
inline const QString OSnapSize = QStringLiteral("OSnapSize");
inline const QString PenCaps = QStringLiteral("PenCaps");
inline const QString CurveResolution = QStringLiteral("CurveResolution");
// The height in pixels of pictures exported from a drawing (the width follows at 16:9).
inline const QString WmfSaveSize = QStringLiteral("WMFSaveSize");
inline const QString ActiveFillBkColor = QStringLiteral("ActiveFillBkColor");
inline const QString ShowWcsAxis = QStringLiteral("ShowWCSAxis");
inline const QString MwReversed = QStringLiteral("MW_REVERSED");
inline const QString PtSize = QStringLiteral("PtSize");
// The undo history each drawing keeps, in megabytes (1 to 20; empty: 20).
inline const QString UndoLimit = QStringLiteral("UndoLimit");
// The DXF release drawings are saved as: the number of a choice of the DwgSaveVer property
// (2-4 R12, 5 R13, 6 R14, 7 R2000, 8 R2007; empty: R2007). 0 and 1 name another program's
// format and are never stored.
inline const QString DwgSaveVer = QStringLiteral("DwgSaveVer");
// The drawing new drawings start from when none is chosen (a DXF file; empty: the
// installation's TemplateDrawing\TolvaneDefault.dxf).
inline const QString TemplateDrawing = QStringLiteral("TemplateDrawing");
// The font texts are drawn in when their style's font is not installed (a font file or a
// family name; empty: the sans-serif font).
inline const QString DwgAlternateFontFile = QStringLiteral("DwgAlternateFontFile");
// Which scroll bars the drawing views show: "1" horizontal, "2" vertical, "3" (empty) both.
inline const QString ScrollBars = QStringLiteral("ScrollBars");
// The folders searched, in order, for the files a drawing names that are not where it says
// (pictures, font files, standard blocks), separated by ";"; empty: none.
inline const QString SupportPath = QStringLiteral("SupportPath");
// The running object snaps of the drawings: their modes (the snap bits as a number) and
// whether they are on (OSNAP, F3). Empty: end point, insertion point and nearest, on.
inline const QString OSnapModes = QStringLiteral("OSnapModes");
inline const QString OSnapOn = QStringLiteral("OSnapOn");
// Where the toolbars and panes were left, when the user's preference keeps them (base64).
inline const QString ToolbarLayout = QStringLiteral("ToolbarLayout");
// The main window's size, place and maximised state (base64), and how it shows its drawing,
// report and sheet windows: "Tabbed" or "Windows" (the default).
inline const QString MainWindowGeometry = QStringLiteral("MainWindowGeometry");
inline const QString WindowMode = QStringLiteral("WindowMode");

// The tip flags, in the order the tips topics are listed.
QStringList tipFlags();
}  // namespace setting

class SettingsStore {
  public:
    // The user's store: $XDG_CONFIG_HOME/Tolvane/Tolvane_v2.ini.
    SettingsStore();
    // A store in a given file (tests).
    explicit SettingsStore(const QString& iniFile);
    ~SettingsStore();

    QString fileName() const;
    // Empty when absent or unreadable; never an error.
    QString read(const QString& name) const;
    // False when the value could not be stored (unwritable file or folder).
    bool write(const QString& name, const QString& value);

    QSettings& settings() const { return *settings_; }

  private:
    std::unique_ptr<QSettings> settings_;
};

// Key/value access to a section ("key") of the store, after the registry class of the
// Windows original: sections are paths separated by '\' or '/', "" is the product key
// itself. Writing a value creates its section.
class Registry {
  public:
    enum class ValueType { String, Number };

    explicit Registry(SettingsStore& store) : store_(store) {}

    QString sectionKey;  // e.g. "SETTINGS"
    QString valueKey;    // value name
    ValueType valueType = ValueType::String;
    QString defaultValue;  // returned by value() when the value is absent

    bool keyExists() const;
    bool createKey();
    bool deleteKey();
    bool deleteValue();
    QString value() const;
    bool setValue(const QString& value);
    // Value names of the section, sorted; sections below it, sorted.
    QStringList enumerateValues() const;
    QStringList enumerateSections() const;

    // The per-application settings area: section "SETTINGS".
    static QString appSetting(SettingsStore& store, const QString& name);
    static bool saveAppSetting(SettingsStore& store, const QString& name, const QString& value);

  private:
    QString group() const;
    bool sync();
    SettingsStore& store_;
};

}  // namespace tolvane
