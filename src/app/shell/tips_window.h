// frmTips: the tips window. Its texts come from "HOWTO.TXT" in the application folder: a
// "[TOPIC]" line starts a topic, a blank line separates tips, lines starting with ';' are
// comments. Each topic has a setting that hides it ("ShowFIRSTTips", "ShowDrawTips", ...),
// cleared by the window's first control, "Don't show this again"; on the start-up topic it
// reads "Don't show any tips again" and clears them all.
#pragma once

#include <QDialog>
#include <QMap>
#include <QStringList>

class QCheckBox;
class QLabel;
class QPushButton;
class QTextBrowser;

namespace tolvane {

class SettingsStore;

using TipTopics = QMap<QString, QStringList>;  // topic -> tips

TipTopics parseTips(const QString& text);
// The setting that shows or hides a topic: "FIRST" -> "ShowFIRSTTips", "DRAW" ->
// "ShowDrawTips", ...; empty for an unknown topic.
QString tipSetting(const QString& topic);
// The settings of every topic.
QStringList allTipSettings();

class TipsWindow : public QDialog {
    Q_OBJECT
  public:
    TipsWindow(SettingsStore& settings, const QString& howtoFile, QWidget* parent = nullptr);

    // Shows the tips of a topic from the first. False when the topic has no tips.
    bool setTopic(const QString& topic);
    QString topic() const { return topic_; }
    int index() const { return index_; }

  private:
    void showTip();

    SettingsStore& settings_;
    TipTopics tips_;
    QString topic_;
    int index_ = 0;
    QLabel* title_;
    QTextBrowser* text_;
    QLabel* position_;
    QPushButton* previous_;
    QPushButton* next_;
    QCheckBox* dontShow_;  // "Don't show this again": clears the topic's setting
};

}  // namespace tolvane
