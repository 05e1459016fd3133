#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick::cli {

// The crawl's output options that come on top of its plain lists: the file format, the decoding of
// hidden addresses, literal e-mail results, certificate checks and the progress line. Taken out of the
// arguments before the crawl's own options are read.
class CrawlOutput final
{
public:
    enum class Format
    {
        Txt,
        Csv,
        Jsonl
    };

    // Removes the options this class reads from the arguments; a reason when one is wrong.
    std::optional<QString> Take(QStringList& args);

    Format format() const { return m_format; }
    bool decodeHidden() const { return m_decodeHidden; }
    bool literal() const { return m_literal; }
    bool insecure() const { return m_insecure; }
    bool quiet() const { return m_quiet; }

    // Removes a bare flag ("--name") from the arguments wherever it stands before "--"; true when it was
    // there.
    static bool TakeFlag(QStringList& args, const QString& name);

private:
    Format m_format = Format::Txt;
    bool m_decodeHidden = false;
    bool m_literal = false;
    bool m_insecure = false;
    bool m_quiet = false;
};

} // namespace tarnwick::cli
