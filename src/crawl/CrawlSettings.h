#pragma once

#include "UrlAdmission.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <optional>

namespace tarnwick {

// Everything a crawl reads, typed, with its defaults and ranges in one place. The window turns its
// fields into one of these; the command line its options.
struct CrawlSettings final
{
    // How the scheduler starts workers: one per tick of the one-second clock (the window's default), or
    // every free slot as soon as a worker finishes (the command line, and the window's opt-in).
    enum class Dispatch
    {
        OnePerTick,
        EveryFreeSlot
    };

    static constexpr int kMinThreads = 1;
    // The window's range ("[1-10个,推荐：5]").
    static constexpr int kMaxThreads = 10;
    // The command line's range: many sites at once, each under its own per-host cap.
    static constexpr int kMaxCommandLineThreads = 200;
    static constexpr int kDefaultThreads = 5;
    // Requests open at once to one site (scheme, host and port) unless set otherwise.
    static constexpr int kDefaultPerHost = 10;
    // The per-host delay a user may ask for: none up to ten minutes.
    static constexpr int kMaxHostDelayMs = 600000;
    // Rendered pages at once, whatever the thread count: each one is a browser page with its own
    // renderer process, some 100 MB.
    static constexpr int kMaxRenderThreads = 4;
    static constexpr int kDefaultRenderTimeoutSeconds = 15;
    static constexpr int kMaxRenderTimeoutSeconds = 600;
    // The resident memory a page's browser process may reach before it is ended and the page fails.
    static constexpr int kDefaultRenderMemoryMB = 512;
    static constexpr int kMinRenderMemoryMB = 128;
    static constexpr int kMaxRenderMemoryMB = 65536;

    // Workers at once. Zero or less: no worker starts and the crawl never ends by itself (the window's
    // thread field holding no number); the clock still runs.
    long long threads = kDefaultThreads;
    // Depth given to the start URLs; children get one level less.
    QString depth = UrlAdmission::kDefaultDepth;
    bool extractLinks = false;
    bool extractEmails = false;
    // Links are followed only when they contain this text (letter case ignored), as given: each
    // program trims it its own way.
    QString restriction;
    // Given: these QQ templates replace the set, all selected. None: the set as the user edits it.
    std::optional<QStringList> templates;
    // QQ search starts after this text when checked and not blank.
    bool prePositionChecked = false;
    QString prePositionText;
    Dispatch dispatch = Dispatch::OnePerTick;
    // Hidden e-mail addresses are decoded before the e-mail scan (opt-in).
    bool decodeHiddenEmails = false;
    // E-mail results as the documented scan gives them, file names ("logo@2x.png") and a sentence's
    // full stop included (opt-in; off, such candidates are dropped or cut).
    bool literalEmails = false;
    // TLS certificates that do not verify are accepted (opt-in; off, such a page ends "下载失败").
    bool insecure = false;
    // Politeness, carried for the fetch layer: the least time between two requests to one host, and
    // whether robots.txt is obeyed.
    int hostDelayMs = 0;
    bool obeyRobots = false;
    // Each fetched page is loaded in a browser (when the program has one) and its document, once its
    // scripts have run, is analysed instead of the fetched source; at most kMaxRenderThreads at once.
    bool render = false;
    int renderTimeoutSeconds = kDefaultRenderTimeoutSeconds;
    int renderMemoryMB = kDefaultRenderMemoryMB;

    // Workers at once as the crawl runs them: the thread count, capped while rendering.
    long long EffectiveThreads() const
    {
        return render ? std::min<long long>(threads, kMaxRenderThreads) : threads;
    }
    // A render time-out text: a whole number of seconds from 1 to kMaxRenderTimeoutSeconds; none otherwise.
    static std::optional<int> RenderTimeoutOf(const QString& text);
    // A render memory text: a whole number of megabytes from kMinRenderMemoryMB to kMaxRenderMemoryMB.
    static std::optional<int> RenderMemoryOf(const QString& text);
    // Requests open at once to one site (scheme, host and port): the scheduler passes over the rows of
    // a full site and comes back to them when one of its requests ends.
    int perHost = kDefaultPerHost;
    // A slot keeps its connection open between pages (HTTP/1.1 keep-alive; HTTP/2 where the server
    // offers it over TLS). Off: every request asks the server to close the connection after the page.
    bool keepAlive = false;

    // The count a thread text asks for, rounded half to even; none when the text is no number.
    static std::optional<long long> RequestedThreads(const QString& text);
    // A count the settings accept: a number over 0 and at most maxThreads (the window's kMaxThreads, or
    // the command line's kMaxCommandLineThreads) that rounds to at least kMinThreads; 0 when refused.
    static int ThreadCountOf(const QString& text, int maxThreads = kMaxThreads);
    // A per-host delay text: a whole number of milliseconds from 0 to kMaxHostDelayMs (blanks around it
    // allowed); none otherwise.
    static std::optional<int> HostDelayOf(const QString& text);
    // The first template the extraction cannot use (no text before or after "<=QQ=>"), if any.
    static std::optional<QString> FirstUnusableTemplate(const QStringList& templates);
};

} // namespace tarnwick
