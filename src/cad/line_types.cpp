#include "cad/line_types.h"

namespace tolvane::cad {

const QList<LineType>& standardLineTypes() {
    static const QList<LineType> types = {
        {QStringLiteral("CENTER"),
         QStringLiteral("Center ____ _ ____ _ ____"),
         {1.25, -0.25, 0.25, -0.25}},
        {QStringLiteral("DASHDOT"),
         QStringLiteral("Dash dot __ . __ . __ ."),
         {0.5, -0.25, 0, -0.25}},
        {QStringLiteral("DASHED"), QStringLiteral("Dashed __ __ __ __"), {0.5, -0.25}},
        {QStringLiteral("HIDDEN"), QStringLiteral("Hidden __ __ __ __"), {0.25, -0.125}},
        {QStringLiteral("HIDDEN2"), QStringLiteral("Hidden (.5x) _ _ _ _"), {0.125, -0.0625}},
        {QStringLiteral("BORDER"),
         QStringLiteral("Border __ __ . __ __ ."),
         {0.5, -0.25, 0.5, -0.25, 0, -0.25}},
        {QStringLiteral("BORDER2"),
         QStringLiteral("Border (.5x) __.__.__."),
         {0.25, -0.125, 0.25, -0.125, 0, -0.125}},
        {QStringLiteral("BORDERX2"),
         QStringLiteral("Border (2x) ____  ____  .  ____"),
         {1.0, -0.5, 1.0, -0.5, 0, -0.5}},
        {QStringLiteral("CENTER2"),
         QStringLiteral("Center (.5x) ___ _ ___ _ ___"),
         {0.75, -0.125, 0.125, -0.125}},
        {QStringLiteral("CENTERX2"),
         QStringLiteral("Center (2x) ________  __  ________"),
         {2.5, -0.5, 0.5, -0.5}},
        {QStringLiteral("DASHDOT2"),
         QStringLiteral("Dash dot (.5x) _._._._."),
         {0.25, -0.125, 0, -0.125}},
        {QStringLiteral("DASHDOTX2"),
         QStringLiteral("Dash dot (2x) ____  .  ____  ."),
         {1.0, -0.5, 0, -0.5}},
        {QStringLiteral("DASHED2"), QStringLiteral("Dashed (.5x) _ _ _ _ _"), {0.25, -0.125}},
        {QStringLiteral("DASHEDX2"), QStringLiteral("Dashed (2x) ____  ____  ____"), {1.0, -0.5}},
        {QStringLiteral("DIVIDE"),
         QStringLiteral("Divide ____ . . ____ . ."),
         {0.5, -0.25, 0, -0.25, 0, -0.25}},
        {QStringLiteral("DIVIDE2"),
         QStringLiteral("Divide (.5x) __..__..__"),
         {0.25, -0.125, 0, -0.125, 0, -0.125}},
        {QStringLiteral("DIVIDEX2"),
         QStringLiteral("Divide (2x) ________  .  .  ________"),
         {1.0, -0.5, 0, -0.5, 0, -0.5}},
        {QStringLiteral("DOT"), QStringLiteral("Dot . . . . . . . ."), {0, -0.25}},
        {QStringLiteral("DOT2"), QStringLiteral("Dot (.5x) ........"), {0, -0.125}},
        {QStringLiteral("DOTX2"), QStringLiteral("Dot (2x) .  .  .  ."), {0, -0.5}},
        {QStringLiteral("HIDDENX2"), QStringLiteral("Hidden (2x) ____ ____ ____"), {0.5, -0.25}},
        {QStringLiteral("PHANTOM"),
         QStringLiteral("Phantom ______  __  __  ______"),
         {1.25, -0.25, 0.25, -0.25, 0.25, -0.25}},
        {QStringLiteral("PHANTOM2"),
         QStringLiteral("Phantom (.5x) ___ _ _ ___ _ _"),
         {0.625, -0.125, 0.125, -0.125, 0.125, -0.125}},
        {QStringLiteral("PHANTOMX2"),
         QStringLiteral("Phantom (2x) ____________    ____    ____"),
         {2.5, -0.5, 0.5, -0.5, 0.5, -0.5}},
    };
    return types;
}

void addStandardLineTypes(Document& doc) {
    for (const LineType& t : standardLineTypes()) {
        if (!doc.lineType(t.name)) doc.addLineType(t);
    }
}

}  // namespace tolvane::cad
