#include "host/ShortCut.h"

namespace zel {

QKeySequence ShortCut(int stored)
{
    const int vk = stored & 0xFF;
    int key = 0;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        key = vk; // the same codes as Qt's
    else if (vk >= 0x70 && vk <= 0x7B)
        key = Qt::Key_F1 + (vk - 0x70);
    else {
        switch (vk) {
        case 0x08:
            key = Qt::Key_Backspace;
            break;
        case 0x09:
            key = Qt::Key_Tab;
            break;
        case 0x0D:
            key = Qt::Key_Return;
            break;
        case 0x1B:
            key = Qt::Key_Escape;
            break;
        case 0x20:
            key = Qt::Key_Space;
            break;
        case 0x21:
            key = Qt::Key_PageUp;
            break;
        case 0x22:
            key = Qt::Key_PageDown;
            break;
        case 0x23:
            key = Qt::Key_End;
            break;
        case 0x24:
            key = Qt::Key_Home;
            break;
        case 0x25:
            key = Qt::Key_Left;
            break;
        case 0x26:
            key = Qt::Key_Up;
            break;
        case 0x27:
            key = Qt::Key_Right;
            break;
        case 0x28:
            key = Qt::Key_Down;
            break;
        case 0x2D:
            key = Qt::Key_Insert;
            break;
        case 0x2E:
            key = Qt::Key_Delete;
            break;
        default:
            return {};
        }
    }
    int mods = 0;
    if (stored & 0x2000) mods |= Qt::SHIFT;
    if (stored & 0x4000) mods |= Qt::CTRL;
    if (stored & 0x8000) mods |= Qt::ALT;
    return QKeySequence(key | mods);
}

} // namespace zel
