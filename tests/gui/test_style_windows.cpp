// The style windows over a drawing: a wrong number is refused and the field takes its value
// back, STANDARD stays, the first style is listed after a removal, and OK keeps the edits
// that were not applied. With TOLVANE_SCREENSHOT_STYLES=DIR each window is saved as a PNG.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "../unit/script_fixture.h"
#include "app/drawing/style_windows.h"
#include "drawings/drawing.h"
#include "drawings/standard_drawings.h"

using namespace tolvane;

class StyleWindowsTest : public QObject {
    Q_OBJECT

    template <class W>
    static W* child(QWidget& window, const char* name) {
        W* w = window.findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    static void type(QLineEdit* edit, const QString& text) {
        edit->setText(text);
        Q_EMIT edit->editingFinished();
    }
    static void screenshot(QWidget& window, const char* file) {
        const QString dir = qEnvironmentVariable("TOLVANE_SCREENSHOT_STYLES");
        if (dir.isEmpty()) return;
        QTest::qWait(200);
        window.grab().save(dir + QLatin1Char('/') + QLatin1String(file));
    }

  private slots:
    void dimensionStyles() {
        test::ScriptedUser user("button OK\nbutton OK\n");
        Drawing d(standard::templateDrawing());
        QCOMPARE(addDimStyle(d, cad::DimStyle{"PLAN"}), QString());
        DimStylesWindow w(*user.ui, d);
        w.show();
        auto* style = child<QComboBox>(w, "cboStyle");
        QCOMPARE(style->currentText(), QStringLiteral("PLAN"));  // the drawing's current one
        auto* scale = child<QLineEdit>(w, "txtScale");
        type(scale, "two");
        QCOMPARE(scale->text(), QStringLiteral("1"));
        QVERIFY(user.transcript.contains("Scale must be a number (\"two\" is not one)."));
        child<QComboBox>(w, "cboArrow")->setCurrentText("Architectural Tick");
        child<QComboBox>(w, "cboJustification")->setCurrentText("ABOVE");
        type(child<QLineEdit>(w, "txtHeight"), "3.5");
        child<QPushButton>(w, "cmdApply")->click();
        const cad::DimStyle* plan = d.document().dimStyle("PLAN");
        QCOMPARE(plan->arrowBlock, QStringLiteral("_ARCHTICK"));
        QVERIFY(plan->textAbove);
        QCOMPARE(plan->textHeight, 3.5);
        screenshot(w, "dimstyles.png");

        style->setCurrentText("Standard");
        child<QPushButton>(w, "cmdRemove")->click();
        QVERIFY(user.transcript.contains("Cannot remove the STANDARD Dimension Style"));
        QCOMPARE(style->count(), 2);
        style->setCurrentText("PLAN");
        child<QPushButton>(w, "cmdRemove")->click();
        QCOMPARE(style->count(), 1);
        QCOMPARE(style->currentText(), QStringLiteral("Standard"));
        QCOMPARE(child<QComboBox>(w, "cboArrow")->currentText(), QStringLiteral("Closed Filled"));
    }

    void textStyles() {
        test::ScriptedUser user("text TL_NOTES\n");
        Drawing d(standard::templateDrawing());
        TextStylesWindow w(*user.ui, d);
        w.show();
        auto* style = child<QComboBox>(w, "cboStyle");
        QVERIFY(style->findText("TL_CABLENO") >= 0);
        QVERIFY(style->findText("SIMPLEX") >= 0);
        child<QCheckBox>(w, "chkBold")->setChecked(true);
        type(child<QLineEdit>(w, "txtWidth"), "0.8");
        child<QPushButton>(w, "cmdAddStyle")->click();  // current, bold: the styles scenario
        QCOMPARE(d.document().textStyle("TL_NOTES")->widthFactor, 0.8);
        QVERIFY(!d.document().textStyle("Standard")->bold);  // never applied to it
        child<QCheckBox>(w, "chkItalic")->setChecked(true);
        child<QCheckBox>(w, "chkUnderline")->setChecked(true);
        screenshot(w, "textstyles.png");
        child<QPushButton>(w, "cmdOK")->click();  // OK keeps the edits not yet applied
        QVERIFY(d.document().textStyle("TL_NOTES")->underline);
    }

    void pointStyle() {
        test::ScriptedUser user("button OK\n");
        Drawing d;
        PointStyleWindow w(*user.ui, d);
        w.show();
        QVERIFY(child<QRadioButton>(w, "optDot")->isChecked());
        child<QRadioButton>(w, "optCross")->setChecked(true);
        child<QCheckBox>(w, "chkCircle")->setChecked(true);
        auto* size = child<QLineEdit>(w, "txtSize");
        type(size, "-1");
        QCOMPARE(size->text(), QStringLiteral("0"));
        type(size, "2");
        screenshot(w, "pointstyle.png");
        child<QPushButton>(w, "cmdOK")->click();
        QCOMPARE(d.document().settings().pointMode, 3 + 32);
        QCOMPARE(d.document().settings().pointSize, 2.0);
        QVERIFY(d.modified());
    }
};

QTEST_MAIN(StyleWindowsTest)
#include "test_style_windows.moc"
