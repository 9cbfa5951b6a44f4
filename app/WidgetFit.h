#pragma once

#include <QWidget>

namespace korvo {

// The dialogs' fixed geometry suits the Windows UI font. Where the platform's
// font is wider, a widget whose text would be cut grows to the right, up to
// the x coordinate `right` of its parent, so that the free room beside it
// shows the whole text. Widgets whose text fits keep their geometry.
inline void widenToText(QWidget* widget, int right)
{
    const int needed = widget->sizeHint().width();
    if (needed > widget->width())
        widget->resize(qMax(widget->width(), qMin(needed, right - widget->x())), widget->height());
}

} // namespace korvo
