#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace qv {

// Dialog units of a dialog font: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height, so the windows keep their designed proportions
// whatever font the desktop substitutes.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }
    // Rounded to the nearest pixel, halves away from zero.
    int X(int units) const { return Scale(units, baseX_, 4); }
    int Y(int units) const { return Scale(units, baseY_, 8); }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

private:
    static int Scale(int units, int base, int divisor);
    int baseX_;
    int baseY_;
};

// The fonts the windows were designed with. Where they are missing, the desktop's substitute is
// used and the geometry follows it.
QFont DialogFont();  // Arial, 8 points: main dialog, progress, Undelete To, About box
QFont PageFont();    // MS Sans Serif, 8 points: the pages of the result sheet

}  // namespace qv
