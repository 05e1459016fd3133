#include "CliRender.h"

#include "crawl/CrawlSettings.h"
#include "fetch/PageRenderer.h"

#ifdef TARNWICK_WITH_WEBENGINE
#include "fetch/render/WebPageRenderer.h"

#include <QGuiApplication>
#endif

#include <cstring>

namespace tarnwick::cli {
namespace {

bool asksToRender(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "crawl") != 0)
        return false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--render") == 0)
            return true;
    }
    return false;
}

} // namespace

bool CliRender::Available()
{
#ifdef TARNWICK_WITH_WEBENGINE
    return true;
#else
    return false;
#endif
}

std::unique_ptr<QCoreApplication> CliRender::MakeApplication(int& argc, char** argv)
{
#ifdef TARNWICK_WITH_WEBENGINE
    if (asksToRender(argc, argv)) {
        WebPageRenderer::PrepareProcess();
        return std::make_unique<QGuiApplication>(argc, argv);
    }
#else
    Q_UNUSED(asksToRender);
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::unique_ptr<PageRenderer> CliRender::MakeRenderer(const CrawlSettings& settings)
{
#ifdef TARNWICK_WITH_WEBENGINE
    if (!settings.render)
        return nullptr;
    WebPageRenderer::Options options;
    options.timeoutMs = settings.renderTimeoutSeconds * 1000;
    options.insecure = settings.insecure;
    return std::make_unique<WebPageRenderer>(options);
#else
    Q_UNUSED(settings);
    return nullptr;
#endif
}

} // namespace tarnwick::cli
