#pragma once

#include <QHeaderView>
#include <QPixmap>

namespace qv {

// The two heading images: a light-grey (C0C0C0) triangle 11 pixels wide and 6 high on a
// transparent 16 x 16 ground; 0 points up (ascending), 1 down (descending).
QPixmap SortImage(int image);

// Column headings that show the model's sort image (ResultModel::kSortImageRole) to the right of
// the heading text; a right-aligned heading keeps its alignment and moves its text left.
class SortHeader final : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int kImageSize = 16;
    static constexpr int kGap = 2;

    explicit SortHeader(QWidget* parent);
    // Where the image of a section is drawn, in header coordinates; empty when it shows none.
    QRect ImageRect(int logicalIndex) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QRect ImageRectIn(const QRect& section, int logicalIndex, QRect* label) const;
};

}  // namespace qv
