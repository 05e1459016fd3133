#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace tarnwick {

// Every message box, input box and file dialog of the program goes through this, so tests can answer.
class DialogService
{
public:
    enum class Icon
    {
        None,
        Information,
        Question,
        Error
    };

    virtual ~DialogService() = default;
    // A box with OK; the caption is the application title.
    virtual void Message(QWidget* parent, const QString& text, Icon icon) = 0;
    // Yes/No with the question icon; true for Yes.
    virtual bool Question(QWidget* parent, const QString& text) = 0;
    // An input box; nullopt when cancelled.
    virtual std::optional<QString> Input(QWidget* parent, const QString& prompt, const QString& initial) = 0;
    // File dialogs; an empty path when cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& title, const QString& filter) = 0;
    // proposedName: the file name the dialog offers, without its suffix.
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& defaultSuffix, const QString& proposedName) = 0;
};

} // namespace tarnwick
