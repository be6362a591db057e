#include "app/drawing/style_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/drawing/choice_dialogs.h"
#include "app/drawing/drawing_view.h"
#include "app/shell/widget_helpers.h"
#include "cad/colors.h"
#include "cad/geometry.h"
#include "cad/render.h"
#include "drawings/drawing.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

// The row of buttons under a style window: Apply (when given), OK, Cancel.
QDialogButtonBox* buttonRow(QDialog* dialog, std::function<void()> ok,
                            std::function<void()> apply = {}) {
    QDialogButtonBox* buttons = okCancel(dialog, std::move(ok));
    if (apply) {
        QPushButton* b = buttons->addButton(QDialogButtonBox::Apply);
        b->setObjectName(QStringLiteral("cmdApply"));
        QObject::connect(b, &QPushButton::clicked, dialog, std::move(apply));
    }
    return buttons;
}

QString colorCaption(int color) {
    if (color == cad::kColorByBlock) return QStringLiteral("ByBlock");
    if (color == cad::kColorByLayer) return QStringLiteral("ByLayer");
    return QString::number(color);
}

// Lists the styles and shows `current` (else the first), so that the list's change loads it
// once, after the list is whole.
void fillStyleList(QComboBox* list, const QStringList& names, const QString& current,
                   bool& loading) {
    loading = true;
    list->clear();
    list->addItems(names);
    const int at = list->findText(current, Qt::MatchFixedString);
    loading = false;
    list->setCurrentIndex(-1);
    list->setCurrentIndex(std::max(0, at));
}

}  // namespace

// ---- preview ------------------------------------------------------------------------------

StylePreview::StylePreview(Ui& ui, QWidget* parent)
    : QWidget(parent), doc_(std::make_unique<cad::Document>()) {
    view_ = new DrawingView(*doc_, doc_->modelSpace(), ui, nullptr, this);
    view_->setObjectName(QStringLiteral("picPreview"));
    view_->setAttribute(Qt::WA_TransparentForMouseEvents);  // shown, not worked in
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setMinimumSize(240, 150);
}

StylePreview::~StylePreview() = default;

void StylePreview::redraw(const std::function<void(cad::Document&)>& fill) {
    *doc_ = cad::Document();
    fill(*doc_);
    view_->modelChanged();
    view_->zoomExtents();
}

// ---- shared -------------------------------------------------------------------------------

StyleWindow::StyleWindow(Ui& ui, Drawing& drawing, const char* name, const QString& title,
                         QWidget* parent)
    : QDialog(parent), ui_(ui), drawing_(drawing) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(title);
    preview_ = new StylePreview(ui, this);
}

QLineEdit* StyleWindow::numberField(const char* name, const QString& caption, double least) {
    auto* edit = named(new QLineEdit, name);
    edit->setMaximumWidth(100);
    fields_.append({edit, caption, least, QStringLiteral("0")});
    connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
        for (Field& f : fields_) {
            if (f.edit == edit && check(f)) changed();
        }
    });
    return edit;
}

void StyleWindow::setNumber(QLineEdit* field, double value) {
    const QString text = QString::number(value, 'g', 10);
    field->setText(text);
    for (Field& f : fields_) {
        if (f.edit == field) f.good = text;
    }
}

double StyleWindow::number(QLineEdit* field) const {
    return field->text().trimmed().toDouble();
}

bool StyleWindow::check(Field& f) {
    QString problem;
    if (fieldNumber(f.caption, f.edit->text(), f.least, &problem)) {
        f.good = f.edit->text();
        return true;
    }
    ui_.message(problem, MsgButtons::Ok, MsgIcon::Warning);
    f.edit->setText(f.good);
    return false;
}

bool StyleWindow::fieldsGood() {
    for (Field& f : fields_) {
        if (!check(f)) return false;
    }
    return true;
}

// ---- text styles --------------------------------------------------------------------------

TextStylesWindow::TextStylesWindow(Ui& ui, Drawing& drawing, QWidget* parent)
    : StyleWindow(ui, drawing, "frmTextStyles", tr("Text Styles"), parent) {
    style_ = named(new QComboBox, "cboStyle");
    font_ = named(new QComboBox, "cboFont");
    // Stroke fonts of other programs' drawings, then the faces this computer has.
    font_->addItems({QStringLiteral("txt"), QStringLiteral("simplex"), QStringLiteral("romans"),
                     QStringLiteral("isocp")});
    font_->addItems(QFontDatabase::families());
    bold_ = named(new QCheckBox(tr("Bold")), "chkBold");
    italic_ = named(new QCheckBox(tr("Italic")), "chkItalic");
    underline_ = named(new QCheckBox(tr("Underline")), "chkUnderline");
    strikeout_ = named(new QCheckBox(tr("Strikeout")), "chkStrikeout");
    height_ = numberField("txtHeight", tr("Default Height:"), 0.0);
    width_ = numberField("txtWidth", tr("Width:"), 0.01);
    QPushButton* add = namedButton("cmdAddStyle", tr("Add New Style"));

    auto* form = new QFormLayout;
    form->addRow(tr("Text Style:"), style_);
    form->addRow(tr("Font:"), font_);
    auto* checks = new QGridLayout;
    checks->addWidget(bold_, 0, 0);
    checks->addWidget(italic_, 0, 1);
    checks->addWidget(underline_, 1, 0);
    checks->addWidget(strikeout_, 1, 1);
    form->addRow(checks);
    form->addRow(tr("Default Height:"), height_);
    form->addRow(tr("Width:"), width_);
    form->addRow(add);
    auto* top = new QHBoxLayout;
    top->addLayout(form);
    top->addWidget(preview_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttonRow(
        this,
        [this] {
            if (apply()) accept();
        },
        [this] { apply(); }));

    connect(style_, &QComboBox::currentIndexChanged, this, [this] { load(); });
    connect(font_, &QComboBox::currentIndexChanged, this, [this] { changed(); });
    for (QCheckBox* c : {bold_, italic_, underline_, strikeout_})
        connect(c, &QCheckBox::toggled, this, [this] { changed(); });
    connect(add, &QPushButton::clicked, this, [this] { addStyle(); });
    fillList(drawing.document().settings().textStyle);
    resize(620, 300);
}

void TextStylesWindow::fillList(const QString& current) {
    QStringList names;
    for (const cad::TextStyle& s : drawing_.document().textStyles()) names << s.name;
    fillStyleList(style_, names, current, loading_);
}

void TextStylesWindow::load() {
    const cad::TextStyle* s = drawing_.document().textStyle(style_->currentText());
    if (!s) return;
    loading_ = true;
    if (font_->findText(s->font, Qt::MatchFixedString) < 0) font_->insertItem(0, s->font);
    font_->setCurrentIndex(font_->findText(s->font, Qt::MatchFixedString));
    bold_->setChecked(s->bold);
    italic_->setChecked(s->italic);
    underline_->setChecked(s->underline);
    strikeout_->setChecked(s->strikeout);
    setNumber(height_, s->height);
    setNumber(width_, s->widthFactor);
    loading_ = false;
    refresh();
}

cad::TextStyle TextStylesWindow::edited() const {
    const cad::TextStyle* s = drawing_.document().textStyle(style_->currentText());
    cad::TextStyle t = s ? *s : cad::TextStyle{style_->currentText()};
    t.font = font_->currentText();
    t.bold = bold_->isChecked();
    t.italic = italic_->isChecked();
    t.underline = underline_->isChecked();
    t.strikeout = strikeout_->isChecked();
    t.height = number(height_);
    t.widthFactor = number(width_);
    return t;
}

void TextStylesWindow::addStyle() {
    if (!fieldsGood()) return;
    const std::optional<QString> name = ui_.input(tr("Add New Style"), tr("Enter a Name"));
    if (!name) return;
    cad::TextStyle style = edited();
    style.name = *name;
    if (const QString why = addTextStyle(drawing_, style); !why.isEmpty()) {
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    fillList(name->trimmed());
}

bool TextStylesWindow::apply() {
    if (!fieldsGood()) return false;
    applyTextStyle(drawing_, edited());
    return true;
}

void TextStylesWindow::refresh() {
    const cad::TextStyle style = edited();
    const cad::Document& source = drawing_.document();
    preview_->redraw([&](cad::Document& doc) {
        doc.addTextStyle(style);
        const double h = style.height > 0 ? style.height : source.settings().textHeight;
        cad::Entity t = cad::Entity::textAt({0, 0}, QStringLiteral("AaBbCc 123"), h);
        t.style = style.name;
        doc.addToModel(t);
    });
}

// ---- dimension styles ---------------------------------------------------------------------

DimStylesWindow::DimStylesWindow(Ui& ui, Drawing& drawing, QWidget* parent)
    : StyleWindow(ui, drawing, "frmDimStyles", tr("Dimension Styles"), parent) {
    style_ = named(new QComboBox, "cboStyle");
    QPushButton* add = namedButton("cmdNew", tr("New"));
    QPushButton* remove = namedButton("cmdRemove", tr("Remove"));
    remove->setToolTip(tr("Remove the listed dimension style from the drawing"));
    precision_ = numberField("txtPrecision", tr("Precision:"), 0);
    scale_ = numberField("txtScale", tr("Scale:"), 1e-6);
    extension_ = numberField("txtExtension", tr("Extension:"), 0);
    offset_ = numberField("txtOffset", tr("Origin Offset:"), 0);
    visible_ = named(new QCheckBox(tr("Visible")), "chkVisible");
    extensionColorText_ = named(new QLabel, "lblExtensionColor");
    QPushButton* extensionColor = namedButton("cmdExtensionColor", tr("Color"));
    arrow_ = named(new QComboBox, "cboArrow");
    for (const cad::ArrowKind& k : cad::arrowKinds()) arrow_->addItem(k.caption, k.block);
    arrowSize_ = numberField("txtArrowSize", tr("Size:"), 0);
    textStyle_ = named(new QComboBox, "cboTextStyle");
    for (const cad::TextStyle& s : drawing.document().textStyles()) textStyle_->addItem(s.name);
    height_ = numberField("txtHeight", tr("Height:"), 1e-6);
    padding_ = numberField("txtPadding", tr("Padding:"), 0);
    orientation_ = named(new QComboBox, "cboOrientation");
    orientation_->addItems({QStringLiteral("HORIZONTAL"), QStringLiteral("ALIGNED")});
    justification_ = named(new QComboBox, "cboJustification");
    justification_->addItems({QStringLiteral("CENTERED"), QStringLiteral("ABOVE")});
    textColorText_ = named(new QLabel, "lblTextColor");
    QPushButton* textColor = namedButton("cmdTextColor", tr("Color"));

    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(tr("Current Dimension Style")));
    head->addWidget(style_, 1);
    head->addWidget(add);
    head->addWidget(remove);
    auto* general = new QFormLayout;
    general->addRow(tr("Precision:"), precision_);
    general->addRow(tr("Scale:"), scale_);

    auto* extensionBox = named(new QGroupBox(tr("Extension Line")), "fraExtension");
    auto* extensionForm = new QFormLayout(extensionBox);
    extensionForm->addRow(tr("Extension:"), extension_);
    extensionForm->addRow(tr("Origin Offset:"), offset_);
    extensionForm->addRow(visible_);
    auto* ecRow = new QHBoxLayout;
    ecRow->addWidget(extensionColorText_, 1);
    ecRow->addWidget(extensionColor);
    extensionForm->addRow(tr("Color:"), ecRow);

    auto* arrowBox = named(new QGroupBox(tr("Arrows")), "fraArrows");
    auto* arrowForm = new QFormLayout(arrowBox);
    arrowForm->addRow(tr("Current:"), arrow_);
    arrowForm->addRow(tr("Size:"), arrowSize_);

    auto* textBox = named(new QGroupBox(tr("Text")), "fraText");
    auto* textForm = new QFormLayout(textBox);
    textForm->addRow(tr("Text Style:"), textStyle_);
    textForm->addRow(tr("Height:"), height_);
    textForm->addRow(tr("Padding:"), padding_);
    textForm->addRow(tr("Orientation:"), orientation_);
    textForm->addRow(tr("Vertical Justification:"), justification_);
    auto* tcRow = new QHBoxLayout;
    tcRow->addWidget(textColorText_, 1);
    tcRow->addWidget(textColor);
    textForm->addRow(tr("Color:"), tcRow);

    auto* left = new QVBoxLayout;
    left->addLayout(general);
    left->addWidget(extensionBox);
    left->addWidget(arrowBox);
    left->addStretch(1);
    auto* middle = new QVBoxLayout;
    middle->addWidget(textBox);
    middle->addWidget(preview_, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(middle, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(body, 1);
    layout->addWidget(buttonRow(
        this,
        [this] {
            if (apply()) accept();
        },
        [this] { apply(); }));

    connect(style_, &QComboBox::currentIndexChanged, this, [this] { load(); });
    for (QComboBox* c : {arrow_, textStyle_, orientation_, justification_})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { changed(); });
    connect(visible_, &QCheckBox::toggled, this, [this](bool on) {
        showExtension1_ = showExtension2_ = on;
        changed();
    });
    connect(add, &QPushButton::clicked, this, [this] { newStyle(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeStyle(); });
    connect(extensionColor, &QPushButton::clicked, this,
            [this] { pickColor(&extensionColor_, extensionColorText_); });
    connect(textColor, &QPushButton::clicked, this,
            [this] { pickColor(&textColor_, textColorText_); });
    fillList(drawing.document().settings().dimStyle);
    resize(760, 480);
}

void DimStylesWindow::fillList(const QString& current) {
    QStringList names;
    for (const cad::DimStyle& s : drawing_.document().dimStyles()) names << s.name;
    fillStyleList(style_, names, current, loading_);
}

void DimStylesWindow::load() {
    const cad::DimStyle* s = drawing_.document().dimStyle(style_->currentText());
    if (!s) return;
    loading_ = true;
    setNumber(precision_, s->decimals);
    setNumber(scale_, s->scale);
    setNumber(extension_, s->extensionExtension);
    setNumber(offset_, s->extensionOffset);
    showExtension1_ = s->showExtension1;
    showExtension2_ = s->showExtension2;
    visible_->setChecked(s->showExtension1 && s->showExtension2);
    extensionColor_ = s->extensionColor;
    extensionColorText_->setText(colorCaption(extensionColor_));
    const int arrow = arrow_->findData(s->arrowBlock.toUpper());
    if (arrow < 0) arrow_->addItem(s->arrowBlock, s->arrowBlock);  // a block of the drawing
    arrow_->setCurrentIndex(arrow_->findData(arrow < 0 ? s->arrowBlock : s->arrowBlock.toUpper()));
    setNumber(arrowSize_, s->arrowSize);
    if (textStyle_->findText(s->textStyle, Qt::MatchFixedString) < 0)
        textStyle_->addItem(s->textStyle);
    textStyle_->setCurrentIndex(textStyle_->findText(s->textStyle, Qt::MatchFixedString));
    setNumber(height_, s->textHeight);
    setNumber(padding_, s->textGap);
    orientation_->setCurrentIndex(s->textHorizontal ? 0 : 1);
    justification_->setCurrentIndex(s->textAbove ? 1 : 0);
    textColor_ = s->textColor;
    textColorText_->setText(colorCaption(textColor_));
    loading_ = false;
    refresh();
}

cad::DimStyle DimStylesWindow::edited() const {
    const cad::DimStyle* s = drawing_.document().dimStyle(style_->currentText());
    cad::DimStyle d = s ? *s : cad::DimStyle{style_->currentText()};
    d.decimals = std::clamp(int(std::lround(number(precision_))), 0, 8);
    d.scale = number(scale_);
    d.extensionExtension = number(extension_);
    d.extensionOffset = number(offset_);
    d.showExtension1 = showExtension1_;
    d.showExtension2 = showExtension2_;
    d.extensionColor = extensionColor_;
    d.arrowBlock = arrow_->currentData().toString();
    d.arrowSize = number(arrowSize_);
    d.textStyle = textStyle_->currentText();
    d.textHeight = number(height_);
    d.textGap = number(padding_);
    d.textHorizontal = orientation_->currentIndex() == 0;
    d.textAbove = justification_->currentIndex() == 1;
    d.textColor = textColor_;
    return d;
}

void DimStylesWindow::newStyle() {
    if (!fieldsGood()) return;
    const std::optional<QString> name =
        ui_.input(tr("Dimension Styles"), tr("Enter Dimension Style Name"));
    if (!name) return;
    cad::DimStyle style = edited();
    style.name = *name;
    if (const QString why = addDimStyle(drawing_, style); !why.isEmpty()) {
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    fillList(name->trimmed());
}

void DimStylesWindow::removeStyle() {
    if (const QString why = removeDimStyle(drawing_, style_->currentText()); !why.isEmpty()) {
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    fillList(drawing_.document().dimStyles().first().name);
}

void DimStylesWindow::pickColor(int* color, QLabel* label) {
    const std::optional<int> chosen = chooseColor(ui_, *color, this);
    if (!chosen) return;
    *color = *chosen == kSameAsLayer ? cad::kColorByLayer : *chosen;
    label->setText(colorCaption(*color));
    changed();
}

bool DimStylesWindow::apply() {
    if (!fieldsGood()) return false;
    applyDimStyle(drawing_, edited());
    return true;
}

void DimStylesWindow::refresh() {
    const cad::DimStyle style = edited();
    const cad::Document& source = drawing_.document();
    preview_->redraw([&](cad::Document& doc) {
        for (const cad::TextStyle& t : source.textStyles()) doc.addTextStyle(t);
        doc.addDimStyle(style);
        // Sample dimensions sized to the style: a horizontal, an aligned and a radius one.
        const double u = std::max(style.textHeight * (style.scale > 0 ? style.scale : 1.0), 1e-3);
        const QPointF a(0, 0), b(12 * u, 0), c(20 * u, 8 * u);
        doc.addToModel(cad::Entity::line(a, b));
        doc.addToModel(cad::Entity::line(b, c));
        doc.addToModel(cad::Entity::circle({28 * u, 0}, 4 * u));
        for (cad::Entity d : {cad::Entity::linearDimension(a, b, {0, -4 * u}, 0),
                              cad::Entity::alignedDimension(b, c, {18 * u, 1 * u}),
                              cad::Entity::radiusDimension({28 * u, 0}, {30.4 * u, 3.2 * u})}) {
            d.style = style.name;
            doc.addToModel(d);
        }
    });
}

// ---- point style --------------------------------------------------------------------------

namespace {

// A point in one of the five shapes as the renderer draws it, for the option's picture.
QIcon shapeIcon(int shape) {
    cad::Document doc;
    doc.settings().pointMode = shape;
    doc.settings().pointSize = 1.0;
    doc.addToModel(cad::Entity::point({0, 0}));
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    cad::RenderOptions options;
    options.background = Qt::white;
    options.pointSize = 4;
    cad::renderSpace(p, doc, doc.modelSpace(), cad::View(image.size(), {0, 0}, 24.0), options);
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

PointStyleWindow::PointStyleWindow(Ui& ui, Drawing& drawing, QWidget* parent)
    : StyleWindow(ui, drawing, "frmPointStyle", tr("Point Style"), parent) {
    const PointStyle now = pointStyle(drawing.document());
    static const char* const kNames[] = {"optDot", "optNothing", "optPlus", "optCross", "optTick"};
    static const char* const kTips[] = {"Dot", "Nothing", "Plus", "Cross", "Tick"};
    auto* shapes = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) {
        auto* option = named(new QRadioButton, kNames[i]);
        option->setIcon(shapeIcon(i));
        option->setIconSize({32, 32});
        option->setToolTip(tr(kTips[i]));
        option->setChecked(i == now.shape);
        connect(option, &QRadioButton::toggled, this, [this] { changed(); });
        shapes_ << option;
        shapes->addWidget(option);
    }
    circle_ = named(new QCheckBox(tr("Circle Around")), "chkCircle");
    square_ = named(new QCheckBox(tr("Square Around")), "chkSquare");
    circle_->setChecked(now.circle);
    square_->setChecked(now.square);
    for (QCheckBox* c : {circle_, square_})
        connect(c, &QCheckBox::toggled, this, [this] { changed(); });
    size_ = numberField("txtSize", tr("Point Size (in Drawing Units)"), 0);
    setNumber(size_, now.size);

    auto* form = new QFormLayout;
    form->addRow(shapes);
    form->addRow(circle_);
    form->addRow(square_);
    form->addRow(tr("Point Size (in Drawing Units)"), size_);
    auto* top = new QHBoxLayout;
    top->addLayout(form);
    top->addWidget(preview_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttonRow(this, [this] { ok(); }));
    refresh();
    resize(620, 260);
}

PointStyle PointStyleWindow::edited() const {
    PointStyle s;
    for (int i = 0; i < shapes_.size(); ++i) {
        if (shapes_[i]->isChecked()) s.shape = i;
    }
    s.circle = circle_->isChecked();
    s.square = square_->isChecked();
    s.size = number(size_);
    return s;
}

void PointStyleWindow::ok() {
    if (!fieldsGood()) return;
    applyPointStyle(drawing_, edited());
    accept();
}

void PointStyleWindow::refresh() {
    const PointStyle style = edited();
    preview_->redraw([&](cad::Document& doc) {
        doc.settings().pointMode = style.mode();
        doc.settings().pointSize = style.size;
        // A row of points, spaced so that shapes of the chosen size stay apart, and a line
        // under them that gives the row a height to zoom to.
        const double step = std::max(1.0, 2 * style.size);
        for (int i = 0; i < 5; ++i) doc.addToModel(cad::Entity::point({i * step, 0}));
        doc.addToModel(cad::Entity::line({-step / 2, -0.75 * step}, {4.5 * step, -0.75 * step}));
    });
}

}  // namespace tolvane
