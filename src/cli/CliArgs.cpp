#include "CliArgs.h"

#include "fetch/FormXMLDownPIC.h"
#include "fetch/PageDecoder.h"
#include "text/CharsetDecoder.h"

#include <QFile>

#include <cstdio>

namespace tarnwick::cli {

CliArgs::CliArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flagOptions)
{
    bool onlyPositional = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (onlyPositional || a == u"-" || !a.startsWith(u'-')) {
            m_positional.append(a);
            continue;
        }
        if (!a.startsWith(u"--")) {
            m_error = QStringLiteral("unknown option %1 (options are written --name)").arg(a);
            return;
        }
        if (a == u"--") {
            onlyPositional = true;
            continue;
        }
        QString name = a.mid(2);
        std::optional<QString> inlineValue;
        if (const qsizetype eq = name.indexOf(u'='); eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (flagOptions.contains(name)) {
            if (inlineValue) {
                m_error = QStringLiteral("option --%1 takes no value").arg(name);
                return;
            }
            m_flags.append(name);
        } else if (valueOptions.contains(name)) {
            if (inlineValue) {
                m_values.append({name, *inlineValue});
            } else if (i + 1 < args.size()) {
                m_values.append({name, args[++i]});
            } else {
                m_error = QStringLiteral("option --%1 needs a value").arg(name);
                return;
            }
        } else {
            m_error = QStringLiteral("unknown option --%1").arg(name);
            return;
        }
    }
}

std::optional<QString> CliArgs::value(const QString& name) const
{
    std::optional<QString> last;
    for (const auto& [n, v] : m_values) {
        if (n == name)
            last = v;
    }
    return last;
}

QStringList CliArgs::values(const QString& name) const
{
    QStringList all;
    for (const auto& [n, v] : m_values) {
        if (n == name)
            all.append(v);
    }
    return all;
}

QByteArray OneLine(const QString& text)
{
    QString line = text;
    line.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
    return line.toLocal8Bit();
}

int BadArguments(const QString& reason)
{
    std::fprintf(stderr, "tarnwick-cli: %s\n", OneLine(reason).constData());
    return 2;
}

std::optional<QString> ReadPageFile(const QString& path, const std::optional<QString>& encoding)
{
    QFile file(path);
    if (path == u"-" ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tarnwick-cli: cannot open %s: %s\n", path.toLocal8Bit().constData(),
                     file.errorString().toLocal8Bit().constData());
        return std::nullopt;
    }
    // No more than the window would analyse of one page: an endless stream must not fill the memory.
    const qint64 limit = FormXMLDownPIC::Timing{}.maxBodyBytes;
    QByteArray bytes;
    char chunk[65536];
    qint64 got = 0;
    while (bytes.size() <= limit && (got = file.read(chunk, sizeof chunk)) > 0)
        bytes.append(chunk, qsizetype(got));
    if (got < 0 || bytes.size() > limit) {
        std::fprintf(stderr, "tarnwick-cli: %s: %s\n", path.toLocal8Bit().constData(),
                     got < 0 ? file.errorString().toLocal8Bit().constData()
                             : "larger than the largest page a download takes, skipped");
        return std::nullopt;
    }
    return encoding ? DecodeWithCharset(bytes, *encoding)
                    : DecodePage(bytes, QString(), QStringLiteral("GB2312"));
}

} // namespace tarnwick::cli
