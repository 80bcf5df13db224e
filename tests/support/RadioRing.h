// How the indicator of a radio button looks where it sits in its window:
// the pixels of the indicator's columns that stand out from the dialogs'
// body grey (#333), their bounds (a whole circle is as wide as high and not
// cut at the button's left edge) and how strongly they stand out.
#pragma once

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QRadioButton>
#include <QRect>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <cstdlib>

namespace gt {
namespace test {

struct Ring {
    QRect bounds;  // of the pixels that stand out
    int contrast;  // the largest channel difference from the grey
};

inline Ring ringOf(QDialog* dialog, QRadioButton* radio) {
    QImage const image = dialog->grab(QRect(radio->mapTo(dialog, QPoint(0, 0)), radio->size())).toImage();
    QColor const grey(0x33, 0x33, 0x33);
    Ring ring{QRect(), 0};
    // The indicator lies left of the text: the columns up to its right edge.
    QStyleOptionButton option;
    option.initFrom(radio);
    int const end =
        radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio).right() + 1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < std::min(end, image.width()); ++x) {
            QColor const c = image.pixelColor(x, y);
            int const diff = std::max({std::abs(c.red() - grey.red()), std::abs(c.green() - grey.green()),
                                       std::abs(c.blue() - grey.blue())});
            ring.contrast = std::max(ring.contrast, diff);
            if (diff > 8) ring.bounds |= QRect(x, y, 1, 1);
        }
    }
    return ring;
}

}  // namespace test
}  // namespace gt
