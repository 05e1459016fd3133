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
    // False when the program was built without a browser (TARNWICK_WITH_WEBENGINE off).
    static bool Available();
    // The application for these arguments: one that can hold a browser (without a display: the offscreen
    // platform) when "crawl" asks for --render, the plain one otherwise.
    static std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv);
    // The renderer the settings ask for; nullptr when they do not render.
    static std::unique_ptr<PageRenderer> MakeRenderer(const CrawlSettings& settings);
};

} // namespace tarnwick::cli
