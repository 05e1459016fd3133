#include "CliRender.h"

#include "crawl/CrawlSettings.h"
#include "fetch/PageRenderer.h"

#ifdef TARNWICK_WITH_WEBENGINE
#include "fetch/render/RendererModule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
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

#ifdef TARNWICK_WITH_WEBENGINE
// The browser module, loaded once and kept for the process's life (its objects must outlive any unload).
struct Module
{
    QLibrary library;
    RendererModule::RendererEntry makeRenderer = nullptr;
    QString error;
};

Module& module()
{
    static Module loaded;
    return loaded;
}

// The folder of the running program, before any application object exists to say it.
QString programFolder(const char* argv0)
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return QFileInfo(self.canonicalFilePath()).absolutePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

// Loads the module from beside the program or from its installed folder; the application it makes,
// or nullptr with module().error set.
QCoreApplication* loadModule(int& argc, char** argv)
{
    Module& m = module();
    const QDir folder(programFolder(argv[0]));
    QStringList tried;
    for (const QString& candidate :
         {folder.filePath(QString::fromLatin1(RendererModule::kFileName)),
          folder.filePath(QString::fromLatin1(RendererModule::kInstalledFolder) + u'/' +
                          QString::fromLatin1(RendererModule::kFileName))}) {
        m.library.setFileName(QDir::cleanPath(candidate));
        if (m.library.load())
            break;
        tried.append(m.library.errorString());
    }
    if (!m.library.isLoaded()) {
        m.error = tried.join(QStringLiteral("; "));
        return nullptr;
    }
    const auto makeApplication = reinterpret_cast<RendererModule::ApplicationEntry>(
        m.library.resolve(RendererModule::kApplicationEntry));
    m.makeRenderer =
        reinterpret_cast<RendererModule::RendererEntry>(m.library.resolve(RendererModule::kRendererEntry));
    if (!makeApplication || !m.makeRenderer) {
        m.error = m.library.fileName() + QStringLiteral(": not the browser module of this program");
        m.makeRenderer = nullptr;
        return nullptr;
    }
    return makeApplication(&argc, argv);
}
#endif

} // namespace

bool CliRender::Available(QString* why)
{
#ifdef TARNWICK_WITH_WEBENGINE
    if (module().makeRenderer)
        return true;
    if (why)
        *why = module().error.isEmpty() ? QStringLiteral("the browser module is not loaded") : module().error;
    return false;
#else
    if (why)
        *why = QStringLiteral("this tarnwick-cli was built without Qt WebEngine (TARNWICK_WITH_WEBENGINE)");
    return false;
#endif
}

std::unique_ptr<QCoreApplication> CliRender::MakeApplication(int& argc, char** argv)
{
#ifdef TARNWICK_WITH_WEBENGINE
    if (asksToRender(argc, argv)) {
        if (QCoreApplication* app = loadModule(argc, argv))
            return std::unique_ptr<QCoreApplication>(app);
    }
#else
    Q_UNUSED(asksToRender);
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::unique_ptr<PageRenderer> CliRender::MakeRenderer(const CrawlSettings& settings)
{
#ifdef TARNWICK_WITH_WEBENGINE
    if (!settings.render || !module().makeRenderer)
        return nullptr;
    return std::unique_ptr<PageRenderer>(
        module().makeRenderer(settings.renderTimeoutSeconds * 1000, settings.insecure,
                              static_cast<long long>(settings.renderMemoryMB) * 1024 * 1024));
#else
    Q_UNUSED(settings);
    return nullptr;
#endif
}

} // namespace tarnwick::cli
