#include "ui/DialogUnits.h"

#include <QFontMetrics>

namespace qv {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded to the nearest pixel.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
    if (baseX_ < 1) baseX_ = 1;
    if (baseY_ < 1) baseY_ = 1;
}

int DialogUnits::Scale(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

namespace {
QFont Font(const char* family) {
    QFont font(QString::fromLatin1(family));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
}  // namespace

QFont DialogFont() {
    return Font("Arial");
}

QFont PageFont() {
    return Font("MS Sans Serif");
}

}  // namespace qv
