#include "ui/SortHeader.h"

#include <QImage>
#include <QPainter>
#include <QStyleOptionHeader>

#include "ui/ResultModel.h"

namespace qv {

QPixmap SortImage(int image) {
    QImage picture(SortHeader::kImageSize, SortHeader::kImageSize, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    const QRgb grey = qRgb(0xC0, 0xC0, 0xC0);
    // Rows of 1, 3, ... 11 pixels centred on column 7, in rows 5 to 10.
    for (int row = 0; row < 6; ++row) {
        const int half = image == 0 ? row : 5 - row;
        for (int x = 7 - half; x <= 7 + half; ++x)
            picture.setPixel(x, 5 + row, grey);
    }
    return QPixmap::fromImage(picture);
}

SortHeader::SortHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
}

QRect SortHeader::ImageRect(int logicalIndex) const {
    const QRect section(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex),
                        height());
    return ImageRectIn(section, logicalIndex, nullptr);
}

QRect SortHeader::ImageRectIn(const QRect& section, int logicalIndex, QRect* label) const {
    QStyleOptionHeader opt;
    initStyleOptionForIndex(&opt, logicalIndex);
    opt.rect = section;
    QRect text = style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this);
    const int image =
        model()
            ? model()->headerData(logicalIndex, Qt::Horizontal, ResultModel::kSortImageRole).toInt()
            : -1;
    QRect where;
    if (image == 0 || image == 1) {
        const int top = section.top() + (section.height() - kImageSize) / 2;
        if (opt.textAlignment & Qt::AlignRight) {
            text.setRight(text.right() - kImageSize - kGap);
            where = QRect(text.right() + 1 + kGap, top, kImageSize, kImageSize);
        } else {
            const int textWidth = fontMetrics().horizontalAdvance(opt.text);
            const int left =
                text.left() + std::min(textWidth, std::max(0, text.width() - kImageSize)) + kGap;
            where = QRect(left, top, kImageSize, kImageSize);
        }
    }
    if (label) *label = text;
    return where;
}

void SortHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    QStyleOptionHeader opt;
    initStyleOptionForIndex(&opt, logicalIndex);
    opt.rect = rect;
    painter->save();
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    QRect label;
    const QRect image = ImageRectIn(rect, logicalIndex, &label);
    QStyleOptionHeader text = opt;
    text.rect = label;
    text.icon = QIcon();
    style()->drawControl(QStyle::CE_HeaderLabel, &text, painter, this);
    if (!image.isEmpty()) {
        const int which =
            model()->headerData(logicalIndex, Qt::Horizontal, ResultModel::kSortImageRole).toInt();
        painter->setClipRect(rect);
        painter->drawPixmap(image.topLeft(), SortImage(which));
    }
    painter->restore();
}

}  // namespace qv
