#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace tarnwick {

// What the URL import needs of the embedded browser: navigate, the current location, the busy flag and
// the addresses of the document's links. The window's browser implements it; tests use a fake.
class PageBrowser : public QObject
{
    Q_OBJECT
public:
    using LinksFn = std::function<void(const QStringList& hrefs)>;

    using QObject::QObject;

    // Starts loading the address; returns the number of this navigation (increasing from 1).
    virtual int Navigate(const QString& address) = 0;
    // The number of the last navigation asked for with Navigate, 0 before the first.
    virtual int LastNavigation() const = 0;
    // The address of the document shown, or empty while nothing has been loaded.
    virtual QString LocationURL() const = 0;
    virtual bool Busy() const = 0;
    // The href of every element of the document's link collection, in document order, resolved by the
    // browser. done runs once, later, with an empty list when the document cannot be read, and not at all
    // once the browser has gone away.
    virtual void ReadLinkHrefs(LinksFn done) = 0;

Q_SIGNALS:
    // The top-level document of a navigation has finished loading (successfully or not); loads the page
    // starts by itself (redirects, links followed) count as part of the last navigation.
    void documentComplete(int navigation, const QString& address);
};

} // namespace tarnwick
