// The elevation sheet of a rack.
#include "equipment/rack_elevation.h"

#include <algorithm>
#include <vector>

#include "cad/dxf.h"
#include "drawings/standard_drawings.h"

namespace tolvane::equipment {

using namespace elevation;

namespace {

constexpr int kRed = 1;
constexpr int kGrey = 8;
// What the engine reckons a character's width to be, as a share of the text's height.
constexpr double kCharWidth = 0.6;

// A text centred on `at`, no higher than `height` and shrunk to fit `width`.
cad::Entity centred(QPointF at, const QString& text, double height, double width,
                    const QString& layer) {
    const double fits = width / (std::max<qsizetype>(1, text.size()) * kCharWidth);
    cad::Entity t = cad::Entity::textAt(at, text, std::min(height, fits));
    t.hAlign = 1;
    t.vAlign = 2;
    t.end = at;
    t.layer = layer;
    return t;
}

cad::Entity leftText(QPointF at, const QString& text, double height, const QString& layer) {
    cad::Entity t = cad::Entity::textAt(at, text, height);
    t.layer = layer;
    return t;
}

cad::Entity onLayer(cad::Entity e, const QString& layer, int color = cad::kColorByLayer) {
    e.layer = layer;
    e.color = color;
    return e;
}

void addLayers(cad::Document& doc) {
    const std::pair<QString, int> layers[] = {{kLayerRack, 7},
                                              {kLayerEquipment, 5},
                                              {kLayerBlank, kGrey},
                                              {kLayerText, 7},
                                              {kLayerBudget, 3}};
    for (const auto& [name, color] : layers)
        if (!doc.layer(name)) doc.addLayer(cad::Layer{name, color});
}

// The lines of the budget, and whether each is over its limit.
std::vector<std::pair<QString, bool>> budgetLines(const RackBudget& b) {
    const auto limit = [](const std::optional<double>& l, const char* unit) {
        return l ? QStringLiteral(" of %1 %2").arg(budgetNumber(*l), QLatin1String(unit))
                 : QStringLiteral(" (no limit)");
    };
    return {
        {QStringLiteral("RU used: %1 of %2, %3 free").arg(b.used).arg(b.height).arg(b.free),
         b.overRu()},
        {QStringLiteral("Power: %1 W").arg(budgetNumber(b.watts)) + limit(b.powerLimit, "W"),
         b.overPower()},
        {QStringLiteral("Heat: %1 BTU/h").arg(budgetNumber(b.btu)), false},
        {QStringLiteral("Weight: %1 kg").arg(budgetNumber(b.weight)) + limit(b.weightLimit, "kg"),
         b.overWeight()},
        {QStringLiteral("Systems: %1").arg(b.systems), false},
    };
}

void frameViewport(cad::Document& doc, const QRectF& extents) {
    for (cad::Space& layout : doc.layouts())
        for (cad::Entity& e : layout.entities) {
            if (e.kind != cad::EntityKind::Viewport || e.detail->width <= 0 || e.height <= 0)
                continue;
            const double aspect = e.detail->width / e.height;
            cad::EntityDetail& d = e.detail.edit();
            d.viewCentre = extents.center();
            d.viewHeight = std::max(extents.height(), extents.width() / aspect) * 1.04;
            return;
        }
}

}  // namespace

QRectF ruBox(int bottom, int top) {
    return QRectF(QPointF(0, (bottom - 1) * kRuHeight), QPointF(kPanelWidth, top * kRuHeight));
}

void drawElevation(cad::Document& doc, const RackPlan& plan, const ElevationOptions& options) {
    addLayers(doc);
    const int height = std::max(0, plan.rack.height);
    const double top = height * kRuHeight;
    const double left = -kRailWidth, right = kPanelWidth + kRailWidth;
    std::vector<cad::Entity> out;

    // The rack: outline, the rails' inner edges, and the RU scale on the left rail.
    const bool over = plan.budget.over();
    out.push_back(onLayer(cad::Entity::rect({left, 0}, {right, top}), kLayerRack,
                          over ? kRed : cad::kColorByLayer));
    out.push_back(onLayer(cad::Entity::line({0, 0}, {0, top}), kLayerRack));
    out.push_back(onLayer(cad::Entity::line({kPanelWidth, 0}, {kPanelWidth, top}), kLayerRack));
    for (int ru = 1; ru < height; ++ru)
        out.push_back(
            onLayer(cad::Entity::line({left, ru * kRuHeight}, {0, ru * kRuHeight}), kLayerRack));
    for (int ru = 1; ru <= height; ++ru) {
        cad::Entity n = cad::Entity::textAt({}, QString::number(ru), 0.6);
        n.hAlign = 2;
        n.vAlign = 2;
        n.end = QPointF(left - 0.3, (ru - 0.5) * kRuHeight);
        n.layer = kLayerRack;
        out.push_back(std::move(n));
    }

    // The systems, each a box over its RU.
    for (const RackedSystem& s : plan.placed) {
        const QRectF box = ruBox(*s.bottom, s.top());
        out.push_back(
            onLayer(cad::Entity::rect(box.topLeft(), box.bottomRight()), kLayerEquipment));
        const double width = kPanelWidth - 1.0;
        const QPointF mid = box.center();
        if (*s.height == 1) {
            QStringList parts{s.system, s.model, s.manufacturer};
            parts.removeAll(QString());
            out.push_back(centred(mid, parts.join(QStringLiteral("  ")), 0.6, width, kLayerText));
        } else {
            out.push_back(centred(mid + QPointF(0, 0.9), s.system, 0.7, width, kLayerText));
            out.push_back(centred(mid, s.model, 0.55, width, kLayerText));
            out.push_back(centred(mid - QPointF(0, 0.85), s.manufacturer, 0.55, width, kLayerText));
        }
    }
    if (options.blankPanels)
        for (const auto& [bottom, runHeight] : plan.freeRuns()) {
            const QRectF box = ruBox(bottom, bottom + runHeight - 1);
            out.push_back(
                onLayer(cad::Entity::rect(box.topLeft(), box.bottomRight()), kLayerBlank));
            out.push_back(centred(box.center(), QStringLiteral("BLANK PANEL %1 RU").arg(runHeight),
                                  0.5, kPanelWidth - 1.0, kLayerBlank));
        }

    // Title above, budget and the systems not drawn beside.
    out.push_back(centred({kPanelWidth / 2, top + 3.2}, plan.rack.name, 1.4, 40, kLayerText));
    out.push_back(centred({kPanelWidth / 2, top + 1.4},
                          QStringLiteral("FRONT VIEW, %1 RU").arg(height), 0.7, 40, kLayerText));
    const double x = right + 4;
    double y = top - 0.5;
    double widest = 0;
    auto line = [&](const QString& text, double h, int color = cad::kColorByLayer) {
        cad::Entity t = leftText({x, y}, text, h, kLayerBudget);
        t.color = color;
        widest = std::max(widest, text.size() * h * kCharWidth);
        out.push_back(std::move(t));
        y -= h * 1.9;
    };
    line(over ? QStringLiteral("BUDGET: OVER LIMIT (%1)").arg(plan.budget.overLimits())
              : QStringLiteral("BUDGET"),
         0.9, over ? kRed : cad::kColorByLayer);
    for (const auto& [text, isOver] : budgetLines(plan.budget))
        line(isOver ? text + QStringLiteral("  OVER") : text, 0.7,
             isOver ? kRed : cad::kColorByLayer);
    if (!plan.problems.isEmpty()) {
        y -= 1.0;
        line(QStringLiteral("NOT DRAWN"), 0.9, kRed);
        for (const RackProblem& p : plan.problems) line(p.text, 0.6);
    }
    doc.addAll(doc.modelSpace(), std::move(out));

    const double lowest = std::min(-1.0, y);
    frameViewport(doc, QRectF(QPointF(left - 3.0, lowest),
                              QPointF(std::max(x + widest, right) + 1, top + 5.0)));
}

cad::Document elevationSheet(const RackPlan& plan, const ElevationOptions& options,
                             const QString& templatePath, const QString& blocksFolder) {
    cad::Document doc = templatePath.isEmpty() ? cad::Document() : cad::loadDxf(templatePath);
    if (!templatePath.isEmpty()) doc.restartHandlesAt(standard::kFirstDrawingHandle);
    standard::prepareDrawing(doc, blocksFolder);
    drawElevation(doc, plan, options);
    return doc;
}

QString elevationFileName(const QString& rack) {
    QString name = rack.trimmed();
    for (QChar& c : name)
        if (c.unicode() < 32 || QStringLiteral("/\\:*?\"<>|").contains(c)) c = QLatin1Char('_');
    return name + QStringLiteral(" Elevation.dxf");
}

}  // namespace tolvane::equipment
