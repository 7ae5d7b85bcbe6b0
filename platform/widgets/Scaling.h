#pragma once

class QWidget;

namespace zel {

// Scales the controls of a screen built in design pixels by ratio (usually
// DesignScale()): the bounds of every control placed by its bounds, parents
// before children (aligned ones keep their Align, now with the scaled size),
// and the widths given to grid columns. Controls that a Qt layout places
// follow their layout. The screen's own size is left to the screen.
void ScaleControls(QWidget* screen, double ratio);

} // namespace zel
