// The global run state: folders, user identity, database mode and connection strings that
// every service reads. One instance is created at start-up and lives for the whole run.
#pragma once

#include <QString>

namespace tolvane {

enum class DatabaseMode { SingleUser, Shared };

struct RunState {
    QString appPath;             // application folder, with a trailing '/'
    QString currentProjectPath;  // open project's folder, without a trailing '/'; empty: none
    QString userName;            // "DEFAULT" when it cannot be read
    QString computerName;        // "MyComp" when it cannot be read
    QString whoAmI;              // userName + "_" + computerName: the identity in every lock
    qint32 userId = 1;
    QString systemFolder;
    QString appCounter;
    QString versionText;  // "Version 2.0.0"
    DatabaseMode mode = DatabaseMode::SingleUser;
    bool logMode = false;  // the whole program argument was "log"
    bool batch = false;

    // Connection strings of the four databases; filled when the databases are connected.
    QString pmConnection;
    QString equipmentConnection;
    QString blankProjectConnection;
    QString projectConnection;

    // The application folder without its trailing '/'.
    QString appFolder() const;
};

// The run's one state object. Set once by the application at start-up.
RunState& runState();

}  // namespace tolvane
