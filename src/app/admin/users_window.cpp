// The users and permissions window.
#include "app/admin/users_window.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>

#include "projects/users.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

namespace {
const QString kTitle = QStringLiteral("Users and Permissions");
constexpr int kKeyRole = Qt::UserRole + 1;
}  // namespace

// The groups and their permission flags: the group's name, then one check cell per
// permission column, headed by the column's name. A check writes through the service at once.
class PermissionsModel : public QAbstractTableModel {
  public:
    PermissionsModel(projects::Users& users, QObject* parent)
        : QAbstractTableModel(parent),
          users_(users),
          columns_(projects::Users::permissionColumns()) {}

    void reload() {
        beginResetModel();
        groups_ = users_.groups();
        endResetModel();
    }
    void setEditable(bool on) { editable_ = on; }
    std::function<void(std::function<void()>)> guard;

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(groups_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(columns_.size()) + 1;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, o, role);
        return section == 0 ? QStringLiteral("Group") : columns_.value(section - 1);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        const db::GroupRecord& g = groups_[index.row()];
        if (index.column() == 0) return role == Qt::DisplayRole ? QVariant(g.name) : QVariant();
        if (role != Qt::CheckStateRole) return {};
        return g.flags.value(columns_[index.column() - 1]) ? Qt::Checked : Qt::Unchecked;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (editable_ && index.column() > 0) f |= Qt::ItemIsUserCheckable;
        return f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!editable_ || role != Qt::CheckStateRole || index.column() == 0) return false;
        db::GroupRecord& g = groups_[index.row()];
        const QString column = columns_[index.column() - 1];
        const bool granted = value.value<Qt::CheckState>() == Qt::Checked;
        bool stored = false;
        guard([&] { stored = users_.setPermission(g.name, column, granted); });
        // A refused change has been explained to the user; the cell shows what is stored.
        if (stored) g.flags.insert(column, granted);
        Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }

  private:
    projects::Users& users_;
    QStringList columns_;
    QList<db::GroupRecord> groups_;
    bool editable_ = false;
};

UsersWindow::UsersWindow(projects::Users& users, Ui& ui, QWidget* parent)
    : QDialog(parent), users_(users), ui_(ui) {
    setObjectName(QStringLiteral("frmUsers"));
    setWindowTitle(kTitle);
    editable_ = users_.isAdministrator();

    userModel_ = new QStandardItemModel(this);
    userModel_->setHorizontalHeaderLabels({tr("User Name"), tr("Group")});
    userGrid_ = new QTableView;
    userGrid_->setObjectName(QStringLiteral("grdUsers"));
    userGrid_->setModel(userModel_);
    userGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    userGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    userGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    userGrid_->horizontalHeader()->setStretchLastSection(true);
    userGrid_->verticalHeader()->hide();

    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("txtUserName"));
    password_ = new QLineEdit;
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);
    group_ = new QComboBox;
    group_->setObjectName(QStringLiteral("cboGroup"));
    auto* form = new QFormLayout;
    form->addRow(tr("User Name:"), name_);
    form->addRow(tr("Password:"), password_);
    form->addRow(tr("Group:"), group_);

    const auto button = [](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* addButton = button("cmdAdd", tr("Add User"));
    QPushButton* passwordButton = button("cmdSetPassword", tr("Set Password"));
    QPushButton* groupButton = button("cmdSetGroup", tr("Set Group"));
    QPushButton* deleteButton = button("cmdDelete", tr("Delete User"));
    QPushButton* closeButton = button("cmdClose", tr("Close"));
    auto* userButtons = new QHBoxLayout;
    for (QPushButton* b : {addButton, passwordButton, groupButton, deleteButton})
        userButtons->addWidget(b);
    userButtons->addStretch(1);

    auto* userBox = new QVBoxLayout;
    userBox->addWidget(userGrid_, 1);
    userBox->addLayout(form);
    userBox->addLayout(userButtons);
    auto* usersGroup = new QGroupBox(tr("Users"));
    usersGroup->setLayout(userBox);

    permissionModel_ = new PermissionsModel(users_, this);
    permissionModel_->setEditable(editable_);
    permissionModel_->guard = [this](std::function<void()> f) {
        runGuarded(errors_, "grdPermissions_Change", std::move(f));
    };
    permissionGrid_ = new QTableView;
    permissionGrid_->setObjectName(QStringLiteral("grdPermissions"));
    permissionGrid_->setModel(permissionModel_);
    permissionGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    permissionGrid_->setEditTriggers(editable_ ? QAbstractItemView::AllEditTriggers
                                               : QAbstractItemView::NoEditTriggers);
    permissionGrid_->verticalHeader()->hide();
    auto* permissionBox = new QVBoxLayout;
    permissionBox->addWidget(permissionGrid_);
    auto* permissionsGroup = new QGroupBox(tr("Group Permissions"));
    permissionsGroup->setLayout(permissionBox);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(usersGroup, 1);
    layout->addWidget(permissionsGroup, 1);
    layout->addLayout(bottom);

    for (QWidget* w : std::initializer_list<QWidget*>{name_, password_, group_, addButton,
                                                      passwordButton, groupButton, deleteButton})
        w->setEnabled(editable_);

    connect(userGrid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { showSelected(); });
    connect(addButton, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "cmdAdd_Click", [this] { add(); }); });
    connect(passwordButton, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "cmdSetPassword_Click", [this] { setPassword(); }); });
    connect(groupButton, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "cmdSetGroup_Click", [this] { setGroup(); }); });
    connect(deleteButton, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "cmdDelete_Click", [this] { remove(); }); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    group_->addItems(users_.groupNames());
    reloadUsers();
    reloadGroups();
    resize(720, 560);
}

UsersWindow::~UsersWindow() = default;

void UsersWindow::reloadUsers(int selectKey) {
    userModel_->removeRows(0, userModel_->rowCount());
    int selectRow = -1;
    for (const db::UserRecord& u : users_.users()) {
        auto* name = new QStandardItem(u.name);
        name->setData(u.key, kKeyRole);
        userModel_->appendRow({name, new QStandardItem(u.group)});
        if (u.key == selectKey) selectRow = userModel_->rowCount() - 1;
    }
    if (selectRow >= 0) userGrid_->selectRow(selectRow);
}

void UsersWindow::reloadGroups() {
    permissionModel_->reload();
}

int UsersWindow::selectedRow(bool tell) {
    const QModelIndexList rows = userGrid_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        if (tell)
            ui_.message(tr("Select a user first."), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return -1;
    }
    return rows.first().row();
}

int UsersWindow::keyOf(int row) const {
    return userModel_->item(row, 0)->data(kKeyRole).toInt();
}

QString UsersWindow::nameOf(int row) const {
    return userModel_->item(row, 0)->text();
}

void UsersWindow::showSelected() {
    const QModelIndexList rows = userGrid_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const int row = rows.first().row();
    name_->setText(userModel_->item(row, 0)->text());
    password_->clear();
    const int g = group_->findText(userModel_->item(row, 1)->text(), Qt::MatchFixedString);
    group_->setCurrentIndex(g);
}

void UsersWindow::add() {
    const QString name = name_->text();
    if (users_.addUser(name, password_->text(), group_->currentText()) !=
        projects::UserChange::Done)
        return;
    password_->clear();
    int key = 0;
    for (const db::UserRecord& u : users_.users())
        if (u.name == name) key = std::max(key, int(u.key));
    reloadUsers(key);
}

void UsersWindow::setPassword() {
    const int row = selectedRow(true);
    if (row < 0) return;
    const bool none = password_->text().isEmpty();
    users_.setPassword(keyOf(row), password_->text());
    password_->clear();
    // The grid never shows passwords: say what happened.
    ui_.message(none ? tr("%1 now logs in without a password.").arg(nameOf(row))
                     : tr("The password of %1 has been set.").arg(nameOf(row)),
                MsgButtons::Ok, MsgIcon::Information, kTitle);
}

void UsersWindow::setGroup() {
    const int row = selectedRow(true);
    if (row < 0) return;
    const int key = keyOf(row);
    if (users_.setGroup(key, group_->currentText()) == projects::UserChange::Done) reloadUsers(key);
}

void UsersWindow::remove() {
    const int row = selectedRow(true);
    if (row < 0) return;
    if (ui_.message(tr("Delete the user %1?").arg(nameOf(row)), MsgButtons::YesNo,
                    MsgIcon::Question, kTitle) != MsgButton::Yes)
        return;
    if (users_.deleteUser(keyOf(row)) == projects::UserChange::Done) {
        name_->clear();
        reloadUsers();
    }
}

}  // namespace tolvane
