// The command-line aliases: 83 tested commands with their default aliases, and ten more that
// only the user file can change. Defaults are loaded first, then the user's key file
// "users/User.ks" (one "NAME,ALIAS" per line, "'" starts a comment) overrides them.
#pragma once

#include <QString>
#include <QVector>
#include <optional>

namespace tolvane {

struct AliasEntry {
    QString name;        // "CMD_LINE"
    QString alias;       // "DL"
    QString action;      // a router key, "TLB:<toolbar>" for a toolbar toggle, "" for history only
    bool tested = true;  // false: in the table, never matched
};

class CommandAliases {
  public:
    CommandAliases();  // the defaults

    const QVector<AliasEntry>& entries() const { return entries_; }
    void resetToDefaults();
    // Applies a user key file. Returns false when the file exists but cannot be read; a
    // missing file leaves the defaults and is not a failure.
    bool loadUserFile(const QString& path);
    // Applies the text of a key file.
    void apply(const QString& text);
    // The first tested entry whose alias equals text exactly (text is compared as given).
    std::optional<AliasEntry> match(const QString& text) const;

  private:
    QVector<AliasEntry> entries_;
};

}  // namespace tolvane
