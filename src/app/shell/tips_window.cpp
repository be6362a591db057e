// The tips window.
#include "app/shell/tips_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "shell/settings_store.h"
#include "shell/user_file.h"

namespace tolvane {

TipTopics parseTips(const QString& text) {
    TipTopics topics;
    QString topic;
    QString tip;
    const auto flush = [&] {
        if (!topic.isEmpty() && !tip.trimmed().isEmpty()) topics[topic] << tip.trimmed();
        tip.clear();
    };
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char(';'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            flush();
            topic = line.mid(1, line.size() - 2).trimmed().toUpper();
            continue;
        }
        if (line.isEmpty()) {
            flush();
            continue;
        }
        tip += (tip.isEmpty() ? QString() : QStringLiteral(" ")) + line;
    }
    flush();
    return topics;
}

namespace {

const QMap<QString, QString>& tipSettings() {
    static const QMap<QString, QString> names = {
        {QStringLiteral("FIRST"), setting::ShowFirstTips},
        {QStringLiteral("DRAW"), setting::ShowDrawTips},
        {QStringLiteral("EQUIP"), setting::ShowEquipTips},
        {QStringLiteral("JACK"), setting::ShowJackTips},
        {QStringLiteral("CABLE"), setting::ShowCableTips},
        {QStringLiteral("JBOX"), setting::ShowJboxTips},
        {QStringLiteral("RTR"), setting::ShowRtrTips},
        {QStringLiteral("POINTER"), setting::ShowPointerTips},
        {QStringLiteral("LP"), setting::ShowLpTips},
        {QStringLiteral("CREATEBLOCK"), setting::ShowCreateBlockTips},
        {QStringLiteral("ADDIO"), setting::ShowAddIoTips},
    };
    return names;
}

}  // namespace

QString tipSetting(const QString& topic) {
    return tipSettings().value(topic.toUpper());
}

QStringList allTipSettings() {
    return tipSettings().values();
}

TipsWindow::TipsWindow(SettingsStore& settings, const QString& howtoFile, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("frmTips"));
    setWindowTitle(tr("Tolvane Tips"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);
    if (const UserFile file = readUserFile(howtoFile); file.ok())
        tips_ = parseTips(QString::fromUtf8(file.bytes));

    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("lblTopic"));
    QFont f = title_->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.2);
    title_->setFont(f);
    text_ = new QTextBrowser(this);
    text_->setObjectName(QStringLiteral("txtTip"));
    text_->setMinimumSize(380, 140);
    position_ = new QLabel(this);
    position_->setObjectName(QStringLiteral("lblPosition"));
    // The way out comes first: at the top, where the eye lands.
    dontShow_ = new QCheckBox(this);
    dontShow_->setObjectName(QStringLiteral("chkDontShow"));
    QFont bold = dontShow_->font();
    bold.setBold(true);
    dontShow_->setFont(bold);
    previous_ = new QPushButton(tr("< &Previous"), this);
    previous_->setObjectName(QStringLiteral("cmdPrevious"));
    next_ = new QPushButton(tr("&Next >"), this);
    next_->setObjectName(QStringLiteral("cmdNext"));
    auto* close = new QPushButton(tr("&Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(position_);
    buttons->addWidget(previous_);
    buttons->addWidget(next_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dontShow_);
    layout->addWidget(title_);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);

    connect(previous_, &QPushButton::clicked, this, [this] {
        if (index_ > 0) --index_;
        showTip();
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (index_ + 1 < tips_.value(topic_).size()) ++index_;
        showTip();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(dontShow_, &QCheckBox::toggled, this, [this](bool hide) {
        const QString value = hide ? QStringLiteral("0") : QStringLiteral("1");
        // The start-up topic speaks for all of them: it is where the first start asks whether
        // to show tips at all.
        if (topic_ == QLatin1String("FIRST")) {
            for (const QString& name : allTipSettings()) settings_.write(name, value);
            return;
        }
        const QString name = tipSetting(topic_);
        if (!name.isEmpty()) settings_.write(name, value);
    });
}

bool TipsWindow::setTopic(const QString& topic) {
    topic_ = topic.toUpper();
    index_ = 0;
    {
        const QSignalBlocker block(dontShow_);
        dontShow_->setText(topic_ == QLatin1String("FIRST") ? tr("Don't show any tips again")
                                                            : tr("Don't show this again"));
        dontShow_->setChecked(settings_.read(tipSetting(topic_)) == QLatin1String("0"));
    }
    showTip();
    return !tips_.value(topic_).isEmpty();
}

void TipsWindow::showTip() {
    const QStringList tips = tips_.value(topic_);
    static const QMap<QString, QString> titles = {
        {QStringLiteral("FIRST"), tr("Welcome to Tolvane")},
        {QStringLiteral("DRAW"), tr("Drawings")},
        {QStringLiteral("EQUIP"), tr("Equipment")},
        {QStringLiteral("JACK"), tr("Jacks and Jackfields")},
        {QStringLiteral("CABLE"), tr("Cables")},
        {QStringLiteral("JBOX"), tr("J-Boxes")},
        {QStringLiteral("RTR"), tr("Routers")},
        {QStringLiteral("POINTER"), tr("Pointers")},
        {QStringLiteral("LP"), tr("Linking Pointers")},
        {QStringLiteral("CREATEBLOCK"), tr("Creating Equipment Blocks")},
        {QStringLiteral("ADDIO"), tr("Inputs and Outputs")},
    };
    title_->setText(titles.value(topic_, topic_));
    if (tips.isEmpty()) {
        text_->setPlainText(tr("There are no tips on this topic in HOWTO.TXT."));
        position_->clear();
    } else {
        text_->setPlainText(tips[index_]);
        position_->setText(tr("%1 of %2").arg(index_ + 1).arg(tips.size()));
    }
    previous_->setEnabled(index_ > 0);
    next_->setEnabled(index_ + 1 < tips.size());
}

}  // namespace tolvane
