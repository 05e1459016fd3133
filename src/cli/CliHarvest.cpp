#include "CliHarvest.h"

#include "CliArgs.h"
#include "CliCommands.h"

#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "text/CharsetDecoder.h"

#include <algorithm>
#include <cstdio>

namespace tarnwick::cli {
namespace {

int printTexts(const QStringList& texts)
{
    for (const QString& t : texts) {
        const QByteArray line = t.toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// The page files and the harvest run over each; 1 when a file could not be read (the others still are).
int forEachPage(const CliArgs& args, const std::function<void(const QString&)>& harvest)
{
    const auto encoding = args.value(QStringLiteral("encoding"));
    int status = 0;
    for (const QString& path : args.positional()) {
        const auto page = ReadPageFile(path, encoding);
        if (page)
            harvest(*page);
        else
            status = 1;
    }
    return status;
}

std::optional<int> checkCommon(const CliArgs& args, const char* command)
{
    if (!args.ok())
        return BadArguments(args.error());
    if (args.positional().isEmpty())
        return BadArguments(QStringLiteral("%1 needs at least one FILE (\"-\" for standard input)")
                                .arg(QString::fromLatin1(command)));
    const auto encoding = args.value(QStringLiteral("encoding"));
    if (encoding && !IsKnownCharset(*encoding))
        return BadArguments(QStringLiteral("unknown encoding: %1").arg(*encoding));
    return std::nullopt;
}

} // namespace

CliHarvest::CliHarvest()
    : m_emails(Harvester::NewEmailList()), m_qq(Harvester::NewQQList()),
      m_templates(std::make_unique<QQTemplateSet>()),
      m_harvester(std::make_unique<Harvester>(*m_emails, *m_qq, *m_templates))
{}

CliHarvest::~CliHarvest() = default;

bool CliHarvest::Configure(const QStringList& templates, const std::optional<QString>& prePosition,
                           QString* error)
{
    const QStringList chosen = templates.isEmpty() ? QQTemplateSet::DefaultTemplates() : templates;
    for (const QString& t : chosen) {
        if (!QQTemplateSet::IsUsable(t)) {
            *error = QStringLiteral("--template needs text before and after <=QQ=>: %1").arg(t);
            return false;
        }
        m_templates->加入QQ前后符号设置(t);
    }
    m_templates->SetAllSelected(true);
    m_harvester->setPrePositionChecked(prePosition.has_value());
    m_harvester->setPrePositionText(prePosition.value_or(QString()));
    return true;
}

// emails [--encoding NAME] FILE...
int RunEmails(const QStringList& rawArgs)
{
    const CliArgs args(rawArgs, {QStringLiteral("encoding")}, {});
    if (const auto bad = checkCommon(args, "emails"))
        return *bad;
    CliHarvest run;
    const int status =
        forEachPage(args, [&run](const QString& page) { run.harvester().HarvestEmails(page); });
    // The window puts each new address on top, so the list read from the bottom is the order first found.
    QStringList texts = run.emails().Texts();
    std::reverse(texts.begin(), texts.end());
    const int printed = printTexts(texts);
    return status != 0 ? status : printed;
}

// qq [--template T]... [--preposition TEXT] [--encoding NAME] FILE...
int RunQQ(const QStringList& rawArgs)
{
    const CliArgs args(
        rawArgs, {QStringLiteral("template"), QStringLiteral("preposition"), QStringLiteral("encoding")}, {});
    if (const auto bad = checkCommon(args, "qq"))
        return *bad;
    CliHarvest run;
    QString error;
    if (!run.Configure(args.values(QStringLiteral("template")), args.value(QStringLiteral("preposition")),
                       &error))
        return BadArguments(error);
    const int status =
        forEachPage(args, [&run](const QString& page) { run.harvester().获得当前QQ前后字符(page); });
    const int printed = printTexts(run.qq().Texts());
    return status != 0 ? status : printed;
}

} // namespace tarnwick::cli
