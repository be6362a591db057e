// The parts of the Ui seam both implementations share: button names, coordinate text and
// the drawing-prompt state machine (what a typed or clicked answer means for each prompt).
#include "ui/ui.h"

#include <QFileInfo>
#include <QLineF>
#include <QRegularExpression>
#include <cmath>

namespace tolvane {

namespace {
struct ButtonName {
    MsgButton button;
    const char* name;
};
constexpr ButtonName kButtonNames[] = {
    {MsgButton::Ok, "OK"},
    {MsgButton::Cancel, "Cancel"},
    {MsgButton::Yes, "Yes"},
    {MsgButton::No, "No"},
    {MsgButton::Retry, "Retry"},
    {MsgButton::Abort, "Abort"},
    {MsgButton::Ignore, "Ignore"},
    {MsgButton::YesToAll, "YesToAll"},
    {MsgButton::OpenFile, "OpenFile"},
    {MsgButton::OpenFolder, "OpenFolder"},
};
}  // namespace

QString buttonName(MsgButton b) {
    for (const auto& n : kButtonNames)
        if (n.button == b) return QString::fromLatin1(n.name);
    return {};
}

std::optional<MsgButton> buttonFromName(const QString& name) {
    for (const auto& n : kButtonNames)
        if (name == QLatin1String(n.name)) return n.button;
    return std::nullopt;
}

QList<MsgButton> buttonsOf(MsgButtons set) {
    using B = MsgButton;
    switch (set) {
        case MsgButtons::Ok:
            return {B::Ok};
        case MsgButtons::OkCancel:
            return {B::Ok, B::Cancel};
        case MsgButtons::YesNo:
            return {B::Yes, B::No};
        case MsgButtons::YesNoCancel:
            return {B::Yes, B::No, B::Cancel};
        case MsgButtons::RetryCancel:
            return {B::Retry, B::Cancel};
        case MsgButtons::AbortRetryIgnore:
            return {B::Abort, B::Retry, B::Ignore};
        case MsgButtons::YesNoYesToAllCancel:
            return {B::Yes, B::No, B::YesToAll, B::Cancel};
        case MsgButtons::OpenFileOpenFolderOk:
            return {B::OpenFile, B::OpenFolder, B::Ok};
    }
    return {B::Ok};
}

void Ui::fileWritten(const QString& text, const QString& file) {
    status(text);
    switch (message(text, MsgButtons::OpenFileOpenFolderOk, MsgIcon::Information)) {
        case MsgButton::OpenFile:
            openExternally(file);
            break;
        case MsgButton::OpenFolder:
            openExternally(QFileInfo(file).absolutePath());
            break;
        default:
            break;
    }
}

std::optional<QPointF> parsePoint(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) return std::nullopt;
    bool okX = false, okY = false;
    const double x = parts[0].trimmed().toDouble(&okX);
    const double y = parts[1].trimmed().toDouble(&okY);
    if (!okX || !okY || !std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
    return QPointF(x, y);
}

QString formatNumber(double v) {
    if (std::abs(v) < 0.00005) v = 0.0;  // no "-0"
    QString s = QString::number(v, 'f', 4);
    while (s.endsWith(QLatin1Char('0'))) s.chop(1);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    return s;
}

QString formatPoint(const QPointF& p) {
    return formatNumber(p.x()) + QLatin1Char(',') + formatNumber(p.y());
}

// ---- drawing prompts -------------------------------------------------------------------

Ui::PromptState Ui::ask(PromptKind kind, const QString& text, unsigned snap, bool enterEnds,
                        std::optional<QPointF> base, Preview preview, Wanted wanted,
                        QStringList options) {
    // A prompt asked while another waits (a transparent zoom window, say) runs to its end
    // first; the outer prompt then goes on waiting where it was.
    const PromptState outer = prompt_;
    prompt_ = PromptState{};
    prompt_.kind = kind;
    prompt_.number = ++asked_;
    prompt_.snap = snap;
    prompt_.enterEnds = enterEnds;
    prompt_.base = base;
    prompt_.preview = std::move(preview);
    prompt_.wanted = std::move(wanted);
    prompt_.options = std::move(options);
    showPrompt(text);
    waitForPrompt();
    const PromptState answered = prompt_;
    prompt_ = outer;
    return answered;
}

void Ui::finishAnswer() {
    prompt_.answered = true;
    promptAnswered();
}

PointAnswer Ui::getPoint(const QString& text, unsigned snap, bool enterEnds, Preview preview) {
    return ask(PromptKind::Point, text, snap, enterEnds, std::nullopt, std::move(preview)).point;
}

PointAnswer Ui::getPointFrom(const QString& text, QPointF base, bool enterEnds, Preview preview,
                             unsigned snap, QStringList options) {
    return ask(PromptKind::Point, text, snap, enterEnds, base, std::move(preview), {},
               std::move(options))
        .point;
}

bool Ui::submitOption(const QString& option) {
    if (prompt_.kind == PromptKind::Point) {
        for (const QString& o : std::as_const(prompt_.options)) {
            // An option is named in full or by its capital letter ("C" for "Close").
            if (o.compare(option, Qt::CaseInsensitive) != 0 &&
                !(option.size() == 1 && o.startsWith(option, Qt::CaseInsensitive)))
                continue;
            prompt_.point = PointAnswer{false, {}, false, o};
            finishAnswer();
            return true;
        }
    }
    beep();
    return false;
}

PickAnswer Ui::getEntity(const QString& text, Wanted wanted) {
    return ask(PromptKind::Entity, text, 0, false, std::nullopt, {}, std::move(wanted)).pick;
}

SelectionAnswer Ui::getSelection(const QString& text, Wanted wanted) {
    return ask(PromptKind::Selection, text, 0, false, std::nullopt, {}, std::move(wanted))
        .selection;
}

bool Ui::pickMore(const SelectionAnswer& more, bool remove) {
    if (prompt_.kind != PromptKind::Selection || prompt_.answered) return false;
    if (more.window) {
        prompt_.selection.window = more.window;
        prompt_.selection.crossing = more.crossing;
    }
    QStringList& picked = prompt_.selection.handles;
    for (const QString& h : more.handles) {
        if (remove)
            picked.removeAll(h);
        else if (!picked.contains(h))
            picked << h;
    }
    return true;
}

std::optional<double> Ui::getDistance(const QString& firstPrompt, const QString& secondPrompt) {
    const PointAnswer a = getPoint(firstPrompt);
    if (a.cancelled) return std::nullopt;
    const PointAnswer b = getPoint(secondPrompt);
    if (b.cancelled) return std::nullopt;
    return QLineF(a.point, b.point).length();
}

bool Ui::submitPoint(const QPointF& point) {
    switch (prompt_.kind) {
        case PromptKind::Point:
            prompt_.point = PointAnswer{false, point, false, {}};
            lastPoint_ = point;
            break;
        case PromptKind::Entity:
            prompt_.pick = PickAnswer{false, point, {}};
            break;
        default:
            return false;
    }
    finishAnswer();
    return true;
}

bool Ui::submitSelection(const SelectionAnswer& selection) {
    if (prompt_.kind != PromptKind::Selection) return false;
    QStringList handles = prompt_.selection.handles;
    for (const QString& h : selection.handles)
        if (!handles.contains(h)) handles << h;
    prompt_.selection = selection;
    prompt_.selection.handles = handles;
    prompt_.selection.cancelled = false;
    finishAnswer();
    return true;
}

bool Ui::submitTyped(const QString& raw) {
    const QString text = raw.trimmed();
    bool ok = false;
    switch (prompt_.kind) {
        case PromptKind::None:
            return false;
        case PromptKind::Point: {
            if (!prompt_.options.isEmpty() && !text.isEmpty() && text.front().isLetter())
                return submitOption(text);
            // "@dx,dy": relative to the prompt's base point, else to the point answered last.
            const bool relative = text.startsWith(QLatin1Char('@'));
            const std::optional<QPointF> from = prompt_.base ? prompt_.base : lastPoint_;
            if (auto p = parsePoint(relative ? text.mid(1) : text)) {
                if (!relative) return submitPoint(*p);
                if (from) return submitPoint(*from + *p);
            }
            history(QStringLiteral("Not a recognized coordinate format. Use xxx,yyy."), true);
            break;
        }
        case PromptKind::Entity:
            if (text.startsWith(QLatin1Char('#')) && text.size() > 1 &&
                !text.contains(QLatin1Char(' '))) {
                prompt_.pick = PickAnswer{false, std::nullopt, text.mid(1)};
                finishAnswer();
                return true;
            }
            if (auto p = parsePoint(text)) return submitPoint(*p);
            break;
        case PromptKind::Selection: {
            const QStringList words =
                text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            SelectionAnswer s;
            if (!words.isEmpty() && words.first().startsWith(QLatin1Char('#'))) {
                ok = true;
                for (const QString& w : words) {
                    if (!w.startsWith(QLatin1Char('#')) || w.size() < 2) ok = false;
                    s.handles << w.mid(1);
                }
            } else if (words.size() == 2) {
                auto a = parsePoint(words[0]);
                auto b = parsePoint(words[1]);
                if (a && b) {
                    ok = true;
                    s.window = QRectF(*a, *b).normalized();
                    s.crossing = b->x() < a->x();
                }
            }
            if (ok) return submitSelection(s);
            break;
        }
    }
    beep();
    return false;
}

bool Ui::submitEnd() {
    if (prompt_.kind == PromptKind::Selection) {
        prompt_.selection.cancelled = false;  // with what was picked, perhaps nothing
        finishAnswer();
        return true;
    }
    if (prompt_.kind != PromptKind::Point || !prompt_.enterEnds) {
        beep();
        return false;
    }
    prompt_.point = PointAnswer{false, {}, true, {}};
    finishAnswer();
    return true;
}

void Ui::cancelPrompt() {
    if (prompt_.kind == PromptKind::None) return;
    prompt_.point = PointAnswer{};
    prompt_.pick = PickAnswer{};
    prompt_.selection = SelectionAnswer{};
    finishAnswer();
}

}  // namespace tolvane
