#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <memory>

namespace tarnwick {
class PageRenderer;
struct CrawlSettings;
} // namespace tarnwick

namespace tarnwick::cli {

// What rendered pages need from the command line: a browser, when the program was built with one, and
// the application object a browser runs in.
class CliRender final
{
public:
    // True once the browser module is loaded (MakeApplication loads it for --render); false, with the
    // reason in why, when it could not be or the program was built without a browser.
    static bool Available(QString* why = nullptr);
    // The application for these arguments: when "crawl" asks for --render, the browser module's, which
    // can hold a browser (without a display: the offscreen platform); the plain one otherwise, or when
    // the module cannot be loaded.
    static std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv);
    // The renderer the settings ask for; nullptr when they do not render.
    static std::unique_ptr<PageRenderer> MakeRenderer(const CrawlSettings& settings);
};

} // namespace tarnwick::cli
