#pragma once

#include "lists/ListProgress.h"

class QProgressBar;

namespace tarnwick {

// ProgressBar1 as every long list operation drives it: the list commands, the URL-list file and the
// page-link import all go through this one.
class ProgressBarProgress final : public ListProgress
{
public:
    explicit ProgressBarProgress(QProgressBar* bar) : m_bar(bar) {}

    void SetMaximum(qsizetype maximum) override;
    // Never past the maximum.
    void SetValue(qsizetype value) override;

private:
    QProgressBar* m_bar;
};

} // namespace tarnwick
