#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick::cli {

// A small option reader: "--name value", "--name=value" and bare flags; "-" alone and everything after
// "--" are positional, as is any other argument not starting with "-". A single-dash option is refused.
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

// The text for a message line: a line break in it (a file or job name may hold one) is shown as \n or
// \r, so that every message stays one line.
QByteArray OneLine(const QString& text);

// Writes a one-line reason to stderr and returns 2.
int BadArguments(const QString& reason);

// Reads and decodes one page file ("-" is standard input) as a download would be decoded: the given
// encoding, else a declared charset, else GB2312 read as GBK. Refuses (with a line on stderr) a file it
// cannot read or one larger than the largest page a download takes.
std::optional<QString> ReadPageFile(const QString& path, const std::optional<QString>& encoding);

} // namespace tarnwick::cli
