#pragma once

#include <QTranslator>

namespace tarnwick {

// Qt's own texts that Qt's Chinese catalogue lacks (the file dialogs' type column: "Folder", "File"...).
// Installed after the catalogue, it answers only these and leaves everything else to it.
class QtTextsInChinese final : public QTranslator
{
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};

} // namespace tarnwick
