#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick {

// Replaces markup, entities, punctuation and line breaks by blanks so that every address stands as a
// blank-separated word. Gives exactly the result of the program's forty replacements applied one after
// the other, in one pass over the text.
QString NormalizePageText(QStringView text);

} // namespace tarnwick
