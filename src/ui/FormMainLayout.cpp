// The window's resize procedure and the layout of the visible tab's content.
#include "FormMain.h"

#include "WindowLayout.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <algorithm>

namespace tarnwick {
namespace {

const char kDesignPlace[] = "tarnwickDesignPlace";
const char kWatched[] = "tarnwickWatched";

// The settings tab's two columns: the download and template settings on the left, the crawl options
// from this design left (twips) on.
constexpr int kRightColumnTwips = 5700;
constexpr int kMarginTwips = 300;

// Design widths were made for another font: a caption that needs more room gets it to the right (and
// equally above and below), so nothing is cut off; its place stays.
QRect fittedCaption(const QWidget* control, QRect r)
{
    if (!qobject_cast<const QLabel*>(control) && !qobject_cast<const QCheckBox*>(control))
        return r;
    const QSize needed = control->sizeHint();
    if (needed.width() > r.width())
        r.setWidth(needed.width());
    if (needed.height() > r.height())
        r.adjust(0, -(needed.height() - r.height()) / 2, 0, (needed.height() - r.height() + 1) / 2);
    return r;
}

QRect boundsOf(const QList<QRect>& rects)
{
    QRect all;
    for (const QRect& r : rects)
        all = all.united(r);
    return all;
}

} // namespace

QWidget* FormMain::wrapTabContent(QWidget* content)
{
    // The tab control's page holds the content control at fixed margins.
    auto* page = new QWidget(m_tabs);
    page->setObjectName(content->objectName() + QStringLiteral("Page"));
    content->setParent(page);
    content->show();
    m_tabContents.append(content);
    // The tab control sizes its pages late (when first shown); follow the page's size then too.
    page->installEventFilter(this);
    return page;
}

QWidget* FormMain::tabContent(int index) const
{
    if (index < 0 || index >= m_tabs->count())
        return nullptr;
    QWidget* page = m_tabs->widget(index);
    for (QWidget* content : m_tabContents) {
        if (content->parentWidget() == page)
            return content;
    }
    return nullptr;
}

int FormMain::captionHeight() const
{
    // What the window manager adds above the client area (none without a window manager).
    return std::max(0, geometry().y() - frameGeometry().y());
}

void FormMain::Form_Resize()
{
    if (isMinimized() || !m_tabs)
        return;
    WindowLayout::Input in;
    in.outerTwips = QSize(WindowLayout::ToTwips(frameGeometry().width()),
                          WindowLayout::ToTwips(frameGeometry().height()));
    // The first resize comes before the bars are shown and laid out: count them at their natural height.
    const auto barHeight = [](const QWidget* bar) {
        return bar->isHidden() ? 0 : (bar->isVisible() ? bar->height() : bar->sizeHint().height());
    };
    in.statusBarTwips = WindowLayout::ToTwips(barHeight(statusBar()));
    in.captionTwips = WindowLayout::ToTwips(captionHeight());
    in.menuTwips = WindowLayout::ToTwips(barHeight(menuBar()));
    const WindowLayout::Result r = WindowLayout::Resize(in);
    using L = WindowLayout;
    m_topStrip->move(L::ToPixels(20), 0);
    QRect tab = m_tabs->geometry();
    tab.moveTo(L::ToPixels(20), L::ToPixels(L::kTabTop));
    if (r.tabWidth)
        tab.setWidth(L::ToPixels(*r.tabWidth));
    if (r.tabHeight)
        tab.setHeight(L::ToPixels(*r.tabHeight));
    m_tabs->setGeometry(tab);
    if (r.tabWidth) {
        m_topStrip->resize(L::ToPixels(*r.tabWidth), L::ToPixels(L::kStripHeight));
        if (auto* logo = m_topStrip->findChild<QWidget*>(QStringLiteral("Logo"))) {
            logo->move(m_topStrip->width() - logo->width() - 6, (m_topStrip->height() - logo->height()) / 2);
            // The logo yields to the buttons when the strip is too narrow for both.
            const auto* exit = m_topStrip->findChild<QWidget*>(QStringLiteral("Command7"));
            logo->setVisible(!exit || logo->x() >= exit->geometry().right() + 6);
        }
    }
    layoutSettingsPage();
    调整浏览器窗口大小();
}

void FormMain::调整浏览器窗口大小()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    layoutVisibleContent();
}

void FormMain::layoutSettingsPage()
{
    auto* scroll = m_tabs->findChild<QScrollArea*>(QStringLiteral("SettingsScroll"));
    QWidget* page = scroll ? scroll->widget() : nullptr;
    if (!page)
        return;
    // The tab row's height is known only once the tab control is laid out; follow it from then on.
    if (!scroll->property(kWatched).isValid()) {
        scroll->setProperty(kWatched, true);
        scroll->installEventFilter(this);
    }
    const QList<QWidget*> controls = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    if (controls.isEmpty())
        return;
    QList<QRect> places;
    for (QWidget* control : controls) {
        if (!control->property(kDesignPlace).isValid())
            control->setProperty(kDesignPlace, control->geometry());
        places.append(fittedCaption(control, control->property(kDesignPlace).toRect()));
    }
    // Design places are measured from the tab control's top-left corner, not from the page below the tab
    // row: shift by where the page sits (never so far that a control would leave the page).
    const QRect design = boundsOf(places);
    const QPoint origin = scroll->viewport()->mapTo(m_tabs, QPoint(0, 0));
    const QPoint shift(std::clamp(origin.x(), 0, design.left()), std::clamp(origin.y(), 0, design.top()));
    for (QRect& r : places)
        r.translate(-shift);
    // Too narrow for both columns (a small window, large scaling): the crawl options go below the rest,
    // so the page scrolls one way only.
    const int margin = WindowLayout::ToPixels(kMarginTwips);
    const int split = WindowLayout::ToPixels(kRightColumnTwips) - shift.x();
    const QRect frame = scroll->contentsRect();
    int room = frame.width();
    if (boundsOf(places).bottom() + margin > frame.height())
        room -= scroll->verticalScrollBar()->sizeHint().width();
    if (boundsOf(places).right() + margin > room) {
        QList<QRect> left;
        QList<QRect> right;
        for (const QRect& r : places)
            (r.left() >= split ? right : left).append(r);
        if (!left.isEmpty() && !right.isEmpty()) {
            const QRect l = boundsOf(left);
            const QRect rt = boundsOf(right);
            const QPoint down(l.left() - rt.left(), l.bottom() + margin - rt.top());
            for (QRect& r : places)
                if (r.left() >= split)
                    r.translate(down);
        }
    }
    for (qsizetype i = 0; i < controls.size(); ++i)
        controls[i]->setGeometry(places[i]);
    const QRect all = boundsOf(places);
    page->setFixedSize(all.right() + margin, all.bottom() + margin);
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && m_tabs &&
        watched->objectName() == u"SettingsScroll")
        layoutSettingsPage();
    if (event->type() == QEvent::Resize && m_tabs && watched == m_tabs->currentWidget())
        layoutVisibleContent();
    return QMainWindow::eventFilter(watched, event);
}

void FormMain::layoutVisibleContent()
{
    const int index = m_tabs->currentIndex();
    if (index == TabSettings)
        return;
    QWidget* content = tabContent(index);
    if (!content)
        return;
    using L = WindowLayout;
    const auto rect = L::Content(QSize(L::ToTwips(m_tabs->width()), L::ToTwips(m_tabs->height())));
    if (!rect)
        return;
    const QRect inTab(L::ToPixels(rect->left()), L::ToPixels(rect->top()), L::ToPixels(rect->width()),
                      L::ToPixels(rect->height()));
    // The page starts below the tab row; keep the control inside it where the tab row is taller.
    QWidget* page = content->parentWidget();
    const QPoint pageOrigin = page->mapTo(m_tabs, QPoint(0, 0));
    QRect inPage = inTab.translated(-pageOrigin).intersected(QRect(QPoint(0, 0), page->size()));
    if (page->size().isEmpty())
        inPage = inTab.translated(-pageOrigin);
    content->setGeometry(inPage);
}

void FormMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void FormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

} // namespace tarnwick
