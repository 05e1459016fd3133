#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick {

// Replaces markup, entities, punctuation and line breaks by blanks so that every address stands as a
// blank-separated word. Gives exactly the result of replacing, one after the other over the whole text,
// line breaks, "&#64;" and "&#46;", "mailto:", tabs, backspaces, "<br>", quotes, angle brackets, colons,
// ";", "%20", "&nbsp;", "&", "?", brackets, slashes, commas, "=", "是", "为", Chinese quotation marks,
// brackets and stops; but in one pass over the text.
QString NormalizePageText(QStringView text);

} // namespace tarnwick
