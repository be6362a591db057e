// The batch Ui: transcript lines, answers, the lines that do not fit, modal windows and
// drawing prompts answered by the script or through the command line.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QLineF>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "script_fixture.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {

// A program with a command line that hands typed text to the waiting prompt.
class TypingHost : public test::QuietHost {
  public:
    explicit TypingHost(Ui& ui) : ui_(ui) {}
    void route(const QString& key) override { routed << key; }
    void enter(const QString& text) override {
        if (ui_.promptWaiting()) ui_.submitTyped(text);
    }
    void key(QWidget*, const QString& name) override {
        if (name == "Escape") ui_.cancelPrompt();
    }
    QStringList routed;

  private:
    Ui& ui_;
};

int abortCode(const std::function<void()>& f, int* line = nullptr) {
    try {
        f();
    } catch (const ScriptAbort& a) {
        if (line) *line = a.line;
        return a.exitCode;
    }
    return 0;
}

}  // namespace

TEST(ScriptParse, SkipsBlanksAndCommentsAndKeepsLineNumbers) {
    const Script script =
        parseScript("# title\r\n\n  route catDNew  \r\nset txtName  O'Brien  \n#x\ntext");
    const auto& lines = script.lines;
    EXPECT_EQ(script.endLine, 7);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].number, 3);
    EXPECT_EQ(lines[0].verb, "route");
    EXPECT_EQ(lines[0].rest, "catDNew");
    EXPECT_EQ(lines[1].rest, "txtName  O'Brien");
    EXPECT_EQ(lines[2].verb, "text");
    EXPECT_EQ(lines[2].rest, "");
}

// Lists to choose from, beeps and status lines are written as every scenario shows them.
TEST(ScriptUi, QuestionsAreWrittenAndAnsweredInOrder) {
    QTemporaryDir dir;
    ScriptedUser u(
        QStringLiteral("button Cancel\ntext 10.5 m\ntext\ncancel\nfile %1\n").arg(dir.path()));
    Ui& ui = *u.ui;
    EXPECT_EQ(ui.message("Save changes?\r\nLine 2", MsgButtons::YesNoCancel, MsgIcon::Question),
              MsgButton::Cancel);
    EXPECT_EQ(ui.input("Length", "Cable length:", "0"), QString("10.5 m"));
    EXPECT_EQ(ui.input("Length", "Cable length:"), QString(""));
    EXPECT_EQ(ui.input("Length", "Cable length:"), std::nullopt);
    EXPECT_EQ(u.ui->chooseFolder({"Project folder", "", "new", "", true}), dir.path());
    EXPECT_EQ(u.lines(), QStringList({
                             "MESSAGE [Yes/No/Cancel] Tolvane | Save changes?\\nLine 2",
                             "ANSWER button Cancel",
                             "INPUT Length | Cable length: | 0",
                             "ANSWER text 10.5 m",
                             "INPUT Length | Cable length: | ",
                             "ANSWER text",
                             "INPUT Length | Cable length: | ",
                             "ANSWER cancel",
                             "FILE Project folder |  | new",
                             "ANSWER file " + dir.path(),
                         }));
    EXPECT_TRUE(u.ui->atEnd());
}

// A button the box does not offer, a script that ends while the program waits, an answer when
// nothing is asked and an unknown line are the script_* scenarios.
TEST(ScriptUi, AnswersThatDoNotFitTheQuestionEndTheRun) {
    {  // an answer of another kind
        ScriptedUser u("button Yes\n");
        EXPECT_EQ(abortCode([&] { u.ui->getPoint("Start point:"); }), 2);
    }
    {  // a file that must exist
        ScriptedUser u("file /no/such/plan.dxf\n");
        EXPECT_EQ(abortCode([&] { u.ui->openFile({"Open", "*.dxf", "", "", true}); }), 2);
        ScriptedUser v("choose C3\n");
        EXPECT_EQ(abortCode([&] { v.ui->choose("Drawing", {"A1", "B2"}); }), 2);
    }
}

TEST(ScriptUi, PromptsTakeAnswersTypedTextAndEscape) {
    ScriptedUser u(
        "point 10, 20.12346\n"
        "pick #1A\n"
        "pick 3,4\n"
        "select 10,10 0,0\n"
        "select #2B #2C\n"
        "route catDZoomIn\n"
        "enter 7,8\n"
        "key Escape\n"
        "escape\n");
    TypingHost host(*u.ui);
    u.ui->setHost(&host);
    const PointAnswer p = u.ui->getPoint("Start point:");
    EXPECT_FALSE(p.cancelled);
    EXPECT_EQ(formatPoint(p.point), "10,20.1235");
    EXPECT_EQ(u.ui->getEntity("Select cable:").handle, "1A");
    EXPECT_EQ(*u.ui->getEntity("Select cable:").point, QPointF(3, 4));
    const SelectionAnswer w = u.ui->getSelection("Select objects:");
    EXPECT_TRUE(w.crossing);
    EXPECT_EQ(*w.window, QRectF(0, 0, 10, 10));
    EXPECT_EQ(u.ui->getSelection("Select objects:").handles, QStringList({"2B", "2C"}));
    // Other lines run while a prompt waits; typed text reaches it through the command line.
    EXPECT_EQ(formatPoint(u.ui->getPoint("Next point:").point), "7,8");
    EXPECT_EQ(host.routed, QStringList({"catDZoomIn"}));
    EXPECT_TRUE(u.ui->getPoint("Next point:").cancelled);
    EXPECT_TRUE(u.ui->getEntity("Select cable:").cancelled);
    EXPECT_FALSE(u.ui->promptWaiting());
    EXPECT_TRUE(u.transcript.contains("PROMPT Start point:\nANSWER point 10, 20.12346\n"));
}

// A selection prompt built with the mouse: the picks grow while the mouse lines run, Enter
// ends it with them (or with none), a `select` line adds its own to them, Escape drops them.
// A mouse line that is neither a click at one point nor a drag between two ends the run.
TEST(ScriptUi, SelectionsBuiltWithTheMouse) {
    ScriptedUser u(
        "mouse click 1,1\n"
        "mouse drag 0,0 5,5\n"
        "selection\n"
        "key Enter\n"
        "mouse click 2,2\n"
        "select #9\n"
        "key Enter\n"
        "mouse click 3,3\n"
        "key Escape\n"
        "hover 1,1\n"
        "mouse click 1,1 2,2\n");
    struct Host : test::QuietHost {
        explicit Host(Ui& ui) : ui(ui) {}
        Ui& ui;
        void mouse(QWidget*, const QString& action, const QList<QPointF>& points, int) override {
            SelectionAnswer more;
            more.handles << action + QString::number(points.last().x());
            if (action == "drag") more.window = QRectF(points.first(), points.last());
            ui.pickMore(more);
        }
        void key(QWidget*, const QString& name) override {
            if (name == "Enter") ui.submitEnd();
            if (name == "Escape") ui.cancelPrompt();
        }
        QString hover(QWidget*, const QPointF&, int) override { return {}; }
        QStringList selection(QWidget*, int) override { return ui.promptPicked(); }
    } host(*u.ui);
    u.ui->setHost(&host);
    const SelectionAnswer built = u.ui->getSelection("Select objects:");
    EXPECT_FALSE(built.cancelled);
    EXPECT_EQ(built.handles, QStringList({"click1", "drag5"}));
    EXPECT_EQ(built.window.value_or(QRectF()), QRectF(0, 0, 5, 5));
    EXPECT_EQ(u.ui->getSelection("Select objects:").handles, QStringList({"click2", "9"}));
    const SelectionAnswer none = u.ui->getSelection("Select objects:");
    EXPECT_FALSE(none.cancelled);
    EXPECT_TRUE(none.handles.isEmpty());
    const SelectionAnswer dropped = u.ui->getSelection("Select objects:");
    EXPECT_TRUE(dropped.cancelled);
    EXPECT_TRUE(dropped.handles.isEmpty());
    int line = 0;
    EXPECT_EQ(abortCode([&] { u.ui->runIdle(); }, &line), 2);
    EXPECT_EQ(line, 11);
    EXPECT_TRUE(u.transcript.contains("SELECTION click1 drag5\n")) << u.transcript.toStdString();
    EXPECT_TRUE(u.transcript.contains("HOVER none\n"));
}

// A point answered to a prompt with snap modes of its own is snapped as a click would be;
// other prompts take the point as written.
TEST(ScriptUi, PointsOfSnappingPromptsAreSnappedByTheHost) {
    ScriptedUser u("point 10.05,4.98\npoint 10.05,4.98\n");
    struct Host : test::QuietHost {
        unsigned asked = 0;
        QPointF snapPoint(QWidget*, const QPointF& p, unsigned modes) override {
            asked = modes;
            return QLineF(p, {10, 5}).length() < 0.1 ? QPointF(10, 5) : p;
        }
    } host;
    u.ui->setHost(&host);
    EXPECT_EQ(u.ui->getPoint("Source:", 8).point, QPointF(10, 5));
    EXPECT_EQ(host.asked, 8u);
    EXPECT_EQ(u.ui->getPoint("Next point:").point, QPointF(10.05, 4.98));
}

TEST(ScriptUi, TypedTextThatDoesNotFitBeepsAndKeepsWaiting) {
    ScriptedUser u("enter 5\nenter #A1\nenter 1,2\n");
    TypingHost host(*u.ui);
    u.ui->setHost(&host);
    EXPECT_EQ(formatPoint(u.ui->getPoint("Center:").point), "1,2");
    EXPECT_EQ(u.transcript.count("BEEP"), 2);
}

TEST(ScriptUi, ModalWindowTakesTheFollowingLinesUntilItCloses) {
    ScriptedUser u("set txtName cable 7\nset chkRepeat 1\nprint txtName\nclick cmdOK\n");
    TypingHost host(*u.ui);
    u.ui->setHost(&host);
    QDialog dialog;
    dialog.setObjectName("frmCableSettings");
    auto* name = new QLineEdit(&dialog);
    name->setObjectName("txtName");
    QObject::connect(name, &QLineEdit::editingFinished, name,
                     [name] { name->setText(name->text().toUpper()); });
    auto* repeat = new QCheckBox(&dialog);
    repeat->setObjectName("chkRepeat");
    auto* ok = new QPushButton("OK", &dialog);
    ok->setObjectName("cmdOK");
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(name);
    layout->addWidget(repeat);
    layout->addWidget(ok);
    EXPECT_EQ(u.ui->runModal(dialog), QDialog::Accepted);
    EXPECT_TRUE(repeat->isChecked());
    EXPECT_EQ(u.lines(), QStringList({"WINDOW frmCableSettings opened", "FIELD txtName = CABLE 7",
                                      "WINDOW frmCableSettings closed"}));

    ScriptedUser v("set txtName x\n");  // ends while the window is open
    v.ui->setHost(&host);
    EXPECT_EQ(abortCode([&] { v.ui->runModal(dialog); }), 3);
}
