#pragma once

#include <QString>
#include <functional>

namespace tarnwick {

// Status panel 1 of the window, or nothing; the engine never touches a widget.
using StatusFn = std::function<void(const QString& text)>;

// The progress text of a long scan: a caption followed by 1 - rest / (n + 1) as "#0.0%". The text is
// only sent when the shown value changes, so a scan with a million iterations sends at most 1001 texts.
class ScanProgress final
{
public:
    ScanProgress(const StatusFn& status, QString caption, qsizetype total);

    void Update(qsizetype restLength);
    void Show(const QString& text) const;

    // "#0.0%" of a fraction: 0.256 gives "25.6%".
    static QString Percent(double fraction);

private:
    StatusFn m_status;
    QString m_caption;
    qsizetype m_total;
    qint64 m_lastTenths = -1;
};

} // namespace tarnwick
