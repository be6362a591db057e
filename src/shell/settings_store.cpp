// The INI settings store and its registry-style access class.
#include "shell/settings_store.h"

#include <QFileInfo>
#include <QSettings>

namespace tolvane {

QStringList setting::tipFlags() {
    return {ShowFirstTips, ShowDrawTips,        ShowEquipTips, ShowJackTips,
            ShowCableTips, ShowJboxTips,        ShowRtrTips,   ShowPointerTips,
            ShowLpTips,    ShowCreateBlockTips, ShowAddIoTips};
}

namespace {
// A registry key always has a value of its own; an empty one marks a section that exists.
const QString kDefaultValue = QStringLiteral("Default");

QString asString(const QVariant& v) {
    // A value holding a comma may come back as a list from an INI file edited by hand.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}
}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Tolvane"),
                                            QStringLiteral("Tolvane_v2"))) {}

SettingsStore::SettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const {
    return settings_->fileName();
}

QString SettingsStore::read(const QString& name) const {
    if (name.isEmpty()) return {};
    return asString(settings_->value(name));
}

bool SettingsStore::write(const QString& name, const QString& value) {
    if (name.isEmpty()) return false;
    settings_->setValue(name, value);
    settings_->sync();
    if (settings_->status() == QSettings::NoError) return true;
    // Keep the in-memory copy in step with the file, so that a failed write is not read back.
    settings_->remove(name);
    return false;
}

// ---- Registry ---------------------------------------------------------------------------

QString Registry::group() const {
    QString g = sectionKey;
    g.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (g.startsWith(QLatin1Char('/'))) g.remove(0, 1);
    while (g.endsWith(QLatin1Char('/'))) g.chop(1);
    return g;
}

bool Registry::sync() {
    store_.settings().sync();
    return store_.settings().status() == QSettings::NoError;
}

bool Registry::keyExists() const {
    const QString g = group();
    if (g.isEmpty()) return true;
    QSettings& s = store_.settings();
    const int slash = g.lastIndexOf(QLatin1Char('/'));
    s.beginGroup(g.left(qMax(slash, 0)));
    const bool exists = s.childGroups().contains(g.mid(slash + 1));
    s.endGroup();
    return exists;
}

bool Registry::createKey() {
    if (keyExists()) return true;
    store_.settings().setValue(group() + QLatin1Char('/') + kDefaultValue, QString());
    return sync();
}

bool Registry::deleteKey() {
    const QString g = group();
    if (g.isEmpty()) return false;  // the product key itself stays
    store_.settings().remove(g);
    return sync();
}

bool Registry::deleteValue() {
    if (valueKey.isEmpty()) return false;
    const QString g = group();
    store_.settings().remove(g.isEmpty() ? valueKey : g + QLatin1Char('/') + valueKey);
    return sync();
}

QString Registry::value() const {
    const QString g = group();
    const QString key = g.isEmpty() ? valueKey : g + QLatin1Char('/') + valueKey;
    QSettings& s = store_.settings();
    if (valueKey.isEmpty() || !s.contains(key)) return defaultValue;
    QString v = asString(s.value(key));
    if (valueType == ValueType::Number) {
        bool ok = false;
        const qlonglong n = v.trimmed().toLongLong(&ok);
        return ok ? QString::number(n) : defaultValue;
    }
    return v;
}

bool Registry::setValue(const QString& value) {
    if (valueKey.isEmpty()) return false;
    QString v = value;
    if (valueType == ValueType::Number) {
        bool ok = false;
        const qlonglong n = value.trimmed().toLongLong(&ok);
        if (!ok) return false;
        v = QString::number(n);
    }
    const QString g = group();
    store_.settings().setValue(g.isEmpty() ? valueKey : g + QLatin1Char('/') + valueKey, v);
    return sync();
}

QStringList Registry::enumerateValues() const {
    QSettings& s = store_.settings();
    s.beginGroup(group());
    QStringList names;
    for (const QString& k : s.childKeys())
        if (k != kDefaultValue || !s.value(k).toString().isEmpty()) names << k;
    s.endGroup();
    names.sort();
    return names;
}

QStringList Registry::enumerateSections() const {
    QSettings& s = store_.settings();
    s.beginGroup(group());
    QStringList groups = s.childGroups();
    s.endGroup();
    groups.sort();
    return groups;
}

QString Registry::appSetting(SettingsStore& store, const QString& name) {
    Registry r(store);
    r.sectionKey = QStringLiteral("SETTINGS");
    r.valueKey = name;
    return r.value();
}

bool Registry::saveAppSetting(SettingsStore& store, const QString& name, const QString& value) {
    Registry r(store);
    r.sectionKey = QStringLiteral("SETTINGS");
    r.valueKey = name;
    return r.setValue(value);
}

}  // namespace tolvane
