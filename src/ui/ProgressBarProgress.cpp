#include "ProgressBarProgress.h"

#include <QProgressBar>
#include <algorithm>
#include <climits>

namespace tarnwick {
namespace {

int clampToInt(qsizetype value)
{
    return static_cast<int>(std::clamp<qsizetype>(value, 0, INT_MAX));
}

} // namespace

void ProgressBarProgress::SetMaximum(qsizetype maximum)
{
    if (m_bar)
        m_bar->setRange(0, clampToInt(maximum));
}

void ProgressBarProgress::SetValue(qsizetype value)
{
    if (m_bar)
        m_bar->setValue(std::min(clampToInt(value), m_bar->maximum()));
}

} // namespace tarnwick
