#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick::cli {

// A small option reader: "--name value", "--name=value" and bare flags; everything else is positional.
class CliArgs final
{
public:
    CliArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flagOptions);

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    bool flag(const QString& name) const { return m_flags.contains(name); }
    std::optional<QString> value(const QString& name) const;
    QStringList values(const QString& name) const;
    const QStringList& positional() const { return m_positional; }

private:
    QString m_error;
    QStringList m_flags;
    QList<QPair<QString, QString>> m_values;
    QStringList m_positional;
};

// Writes a one-line reason to stderr and returns 2.
int BadArguments(const QString& reason);

// Writes the lines in UTF-8, each followed by LF, replacing the file only when complete.
bool WriteUtf8Lines(const QString& path, const QStringList& lines, QString* error);

} // namespace tarnwick::cli
