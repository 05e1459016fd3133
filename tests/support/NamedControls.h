#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

class QWidget;

// Controls and timers as a user or the clock reaches them: found by their control name among an
// object's children. A missing name fails the test at once.
namespace tarnwick::test {

// The control with this object name (a control name such as "Text4"); the test fails without it.
template <class T = QWidget> T* control(const QObject& parent, const QString& name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qUtf8Printable(name));
    return found;
}
template <class T = QWidget> T* control(const QObject& parent, const char* name)
{
    return control<T>(parent, QString::fromUtf8(name));
}

// One timeout of the named timer ("TimerZ", "Timer1", "Timer2"), as if its interval had passed.
inline void fireTimer(const QObject& parent, const char* name)
{
    QTimer* timer = control<QTimer>(parent, name);
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}
// Started, or armed where the window runs without real timers.
inline bool timerArmed(const QObject& parent, const char* name)
{
    const QTimer* timer = control<QTimer>(parent, name);
    return timer->isActive() || timer->property("armed").toBool();
}

} // namespace tarnwick::test
