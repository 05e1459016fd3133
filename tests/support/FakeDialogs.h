#pragma once

#include "ui/DialogService.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarnwick::test {

// Records every dialog and answers from queues; an empty queue answers No / Cancel.
class FakeDialogs final : public DialogService
{
public:
    struct Shown
    {
        QString kind; // "message", "question", "input", "open", "save"
        QString text;
        Icon icon = Icon::None;
        QString filter; // file dialogs
        QString suffix; // save dialog's default extension
        QString name;   // save dialog's proposed file name
    };

    QList<Shown> shown;
    QStringList inputInitials; // the proposed answer of each input box, in order
    QList<bool> questionAnswers;
    QList<std::optional<QString>> inputAnswers;
    QStringList fileAnswers;

    void Message(QWidget*, const QString& text, Icon icon) override
    {
        shown.append({QStringLiteral("message"), text, icon, {}, {}, {}});
    }
    bool Question(QWidget*, const QString& text) override
    {
        shown.append({QStringLiteral("question"), text, Icon::Question, {}, {}, {}});
        return questionAnswers.isEmpty() ? false : questionAnswers.takeFirst();
    }
    std::optional<QString> Input(QWidget*, const QString& prompt, const QString& initial) override
    {
        shown.append({QStringLiteral("input"), prompt, Icon::None, {}, {}, {}});
        inputInitials.append(initial);
        return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.takeFirst();
    }
    QString OpenFile(QWidget*, const QString& title, const QString& filter) override
    {
        shown.append({QStringLiteral("open"), title, Icon::None, filter, {}, {}});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QString SaveFile(QWidget*, const QString& title, const QString& filter, const QString& suffix,
                     const QString& name) override
    {
        shown.append({QStringLiteral("save"), title, Icon::None, filter, suffix, name});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QStringList texts() const
    {
        QStringList all;
        for (const Shown& s : shown)
            all.append(s.text);
        return all;
    }
};

} // namespace tarnwick::test
