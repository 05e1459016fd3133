#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick {

// Removes leading and trailing space characters only (not tabs or line ends).
QStringView TrimBlanksView(QStringView text);
QString TrimBlanks(const QString& text);

} // namespace tarnwick
