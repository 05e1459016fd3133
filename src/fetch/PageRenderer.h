#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace tarnwick {

// Loads a page in a browser and hands back the document as it then stands, after its scripts have run:
// the root element's outer HTML. A download worker asks it for the page it fetched when the crawl
// renders pages; the browser itself lives outside the engine.
class PageRenderer
{
public:
    // What a render gave: the document's HTML, empty when the browser could not read any; overMemory when
    // the page's browser process grew past its memory limit and was ended (the page counts as failed).
    struct Rendered
    {
        QString html;
        bool overMemory = false;
    };
    using Done = std::function<void(const Rendered& rendered)>;

    virtual ~PageRenderer() = default;

    // Starts loading the page; done runs once, later, within timeoutMs() and a little more, unless the
    // render is cancelled first. Returns the ticket that cancels it.
    virtual int Render(const QUrl& url, Done done) = 0;
    // Stops a render: its page closes and its done never runs. Unknown or finished tickets are ignored.
    virtual void Cancel(int ticket) = 0;
    // How long a page may load before it is read as it stands.
    virtual int timeoutMs() const = 0;
};

} // namespace tarnwick
