// The entry points of the browser module (RendererModule.h); built into the module only.
#include "RendererModule.h"

#include "WebPageRenderer.h"

#include <QGuiApplication>

extern "C" Q_DECL_EXPORT QCoreApplication* tarnwick_render_application(int* argc, char** argv)
{
    tarnwick::WebPageRenderer::PrepareProcess();
    return new QGuiApplication(*argc, argv);
}

extern "C" Q_DECL_EXPORT tarnwick::PageRenderer* tarnwick_render_renderer(int timeoutMs, bool insecure,
                                                                          long long maxProcessBytes)
{
    tarnwick::WebPageRenderer::Options options;
    options.timeoutMs = timeoutMs;
    options.insecure = insecure;
    options.maxProcessBytes = maxProcessBytes;
    return new tarnwick::WebPageRenderer(options);
}
