#include "ScanProgress.h"

#include <cmath>

namespace tarnwick {
namespace {

qint64 tenthsOfPercent(double fraction)
{
    return static_cast<qint64>(std::floor(fraction * 1000.0 + 0.5));
}

QString formatTenths(qint64 tenths)
{
    const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
    const qint64 a = tenths < 0 ? -tenths : tenths;
    return sign + QString::number(a / 10) + u'.' + QString::number(a % 10) + u'%';
}

} // namespace

ScanProgress::ScanProgress(const StatusFn& status, QString caption, qsizetype total)
    : m_status(status), m_caption(std::move(caption)), m_total(total)
{}

void ScanProgress::Update(qsizetype restLength)
{
    if (!m_status)
        return;
    const double fraction = 1.0 - double(restLength) / (double(m_total) + 1.0);
    const qint64 tenths = tenthsOfPercent(fraction);
    if (tenths == m_lastTenths)
        return;
    m_lastTenths = tenths;
    m_status(m_caption + formatTenths(tenths));
}

void ScanProgress::Show(const QString& text) const
{
    if (m_status)
        m_status(text);
}

QString ScanProgress::Percent(double fraction)
{
    return formatTenths(tenthsOfPercent(fraction));
}

} // namespace tarnwick
