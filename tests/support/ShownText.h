// What a label, a tooltip or a button shows of its text, the way Qt decides it: rich
// text when the format says so or, for AutoText (tooltips always), when the
// text looks like markup. A test of text from outside compares this with the
// text itself: any markup that was interpreted makes them differ.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QString>
#include <QTextDocument>

namespace gt {
namespace test {

inline bool shownAsRichText(QString const& text, Qt::TextFormat format = Qt::AutoText) {
    return format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
}

// Only parsed, never laid out: an image the markup names is not loaded.
inline QString shownText(QString const& text, Qt::TextFormat format = Qt::AutoText) {
    if (!shownAsRichText(text, format)) return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

inline QString shownText(QLabel const* label) { return shownText(label->text(), label->textFormat()); }

// A button's text as drawn: a lone '&' marks the shortcut key and is not
// drawn, "&&" is drawn as one '&'.
inline QString shownText(QAbstractButton const* button) {
    QString const text = button->text();
    QString shown;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

}  // namespace test
}  // namespace gt
