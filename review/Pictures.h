#pragma once

// The pictures of the review screen, drawn in code.

#include <QColor>
#include <QPixmap>

namespace Cli_zel08100 {

// The colour left out when the check-box bitmaps are drawn into a cell.
inline const QColor kCheckBoxTransparent{128, 128, 0};

// A 16 x 16 check box of 16 colours on an olive background: white box, black
// top and left edges, silver lower and right edges; a black tick when checked.
QPixmap CheckBoxBitmap(bool checked);

// Tool-button glyphs: normal and disabled side by side.
QPixmap FunnelGlyph();     // 36 x 18: two funnels of 18 x 18
QPixmap LightningGlyph();  // 20 x 17: a yellow bolt with a black outline
QPixmap OpenFolderGlyph(); // 32 x 16: two open yellow folders of 16 x 16

} // namespace Cli_zel08100
