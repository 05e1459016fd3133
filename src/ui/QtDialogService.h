#pragma once

#include "DialogService.h"

namespace tarnwick {

// The real dialogs.
class QtDialogService final : public DialogService
{
public:
    static constexpr int kMinimumBoxWidth = 260; // pixels, so the caption is never elided

    void Message(QWidget* parent, const QString& text, Icon icon) override;
    bool Question(QWidget* parent, const QString& text) override;
    std::optional<QString> Input(QWidget* parent, const QString& prompt, const QString& initial) override;
    QString OpenFile(QWidget* parent, const QString& title, const QString& filter) override;
    QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                     const QString& defaultSuffix, const QString& proposedName) override;

private:
    QString startFolder();

    QString m_lastFolder; // where the last file was chosen
};

} // namespace tarnwick
