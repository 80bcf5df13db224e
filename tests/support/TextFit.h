// Finds the texts of a form that do not fit their fixed widths: labels that
// do not wrap, check boxes and radio buttons whose size hint (indicator,
// spacing and text in the font they really get) is wider than the widget,
// and push buttons whose text is wider than their content. What the fonts
// of this machine measure is what a user of it sees clipped.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

namespace gt {
namespace test {

// "objectName: text (needs N, has M)" for each text of root and its
// descendants that is cut off; hidden widgets and rich-text labels count too
// (they show later or once filled).
inline QStringList clippedTexts(QWidget* root) {
    root->ensurePolished();
    QStringList out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        widget->ensurePolished();
        QString text;
        int need = 0;
        int has = widget->width();
        if (auto label = qobject_cast<QLabel*>(widget)) {
            if (label->wordWrap() || label->text().isEmpty() || label->textFormat() == Qt::RichText) continue;
            if (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())) continue;
            text = label->text();
            need = label->sizeHint().width();
        } else if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) {
            auto button = static_cast<QAbstractButton*>(widget);
            if (button->text().isEmpty()) continue;
            text = button->text();
            need = button->sizeHint().width();
        } else if (auto button = qobject_cast<QPushButton*>(widget)) {
            if (button->text().isEmpty()) continue;
            text = button->text();
            need = button->fontMetrics().horizontalAdvance(text);
            has = button->contentsRect().width();
        } else {
            continue;
        }
        if (need > has)
            out << QStringLiteral("%1: %2 (needs %3, has %4)")
                       .arg(widget->objectName(), text)
                       .arg(need)
                       .arg(has);
    }
    return out;
}

}  // namespace test
}  // namespace gt
