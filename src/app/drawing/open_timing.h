// Measuring an open as a user waits for it. With TOLVANE_TIME_OPEN naming a drawing (the open
// benchmark sets it), the program opens it once its main window is up, as the file-open
// command does, times the open to the drawing's first paint and to its spatial index ready,
// writes both with its resident memory then, before the open and at the first paint on
// standard error as
//   OPEN first-paint MS index MS resident KB before KB painted KB
// and ends, with a second line
//   OPEN steps NAME MS ...
// of the steps of the open reached before the first paint. Without the variable every call does
// nothing.
#pragma once

namespace tolvane::open_timing {

// The open command begins.
void started();
// A named step of the open is reached (its first time counts).
void reached(const char* step);
// A drawing view has finished a paint.
void painted();
// The spatial index of the drawing shown is ready.
void indexed();

}  // namespace tolvane::open_timing
