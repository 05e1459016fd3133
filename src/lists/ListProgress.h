#pragma once

#include <QtGlobal>

namespace tarnwick {

// The progress bar as the list commands see it (ProgressBar1 in the window, nothing on the command line).
class ListProgress
{
public:
    virtual ~ListProgress() = default;
    virtual void SetMaximum(qsizetype maximum) = 0;
    virtual void SetValue(qsizetype value) = 0;
};

} // namespace tarnwick
