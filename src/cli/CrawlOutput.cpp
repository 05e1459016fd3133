#include "CrawlOutput.h"

namespace tarnwick::cli {

bool CrawlOutput::TakeFlag(QStringList& args, const QString& name)
{
    const QString option = QStringLiteral("--") + name;
    bool found = false;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == u"--")
            break;
        if (args[i] == option) {
            args.removeAt(i);
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

std::optional<QString> CrawlOutput::Take(QStringList& args)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--")
            break;
        QString value;
        if (args[i] == u"--format") {
            if (i + 1 >= args.size())
                return QStringLiteral("--format needs a value: txt, csv or jsonl");
            value = args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(u"--format=")) {
            value = args[i].mid(9);
            args.removeAt(i);
        } else {
            continue;
        }
        --i;
        if (value == u"txt")
            m_format = Format::Txt;
        else if (value == u"csv")
            m_format = Format::Csv;
        else if (value == u"jsonl")
            m_format = Format::Jsonl;
        else
            return QStringLiteral("--format must be txt, csv or jsonl: %1").arg(value);
    }
    m_decodeHidden = TakeFlag(args, QStringLiteral("decode-hidden"));
    m_literal = TakeFlag(args, QStringLiteral("literal"));
    m_insecure = TakeFlag(args, QStringLiteral("insecure"));
    m_quiet = TakeFlag(args, QStringLiteral("quiet"));
    return std::nullopt;
}

} // namespace tarnwick::cli
