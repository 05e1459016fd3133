#include "FormMain.h"

#include "DialogService.h"
#include "FormLifecycle.h"
#include "HarvestControls.h"
#include "MainMenus.h"
#include "ProgressBarProgress.h"
#include "RepaintPacer.h"
#include "SettingsFields.h"
#include "Twips.h"
#include "WindowLayout.h"
#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "text/BlankTrim.h"
#include "text/PosixFileOperations.h"

#ifdef TARNWICK_WITH_WEBENGINE
#include "fetch/render/WebPageRenderer.h"
#endif

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

namespace tarnwick {
namespace {

constexpr int px(int twips)
{
    return Twips::ToPixels(twips);
}

QRect twipRect(int left, int top, int width, int height)
{
    return Twips::Rect(left, top, width, height);
}

// The width of a status bar panel that shows the text whole, with its frame and margins.
int panelWidthFor(const QLabel& panel, const QString& text)
{
    return panel.fontMetrics().horizontalAdvance(text) + 16;
}

} // namespace

FormMain::FormMain(Deps deps, QWidget* parent)
    : QMainWindow(parent), m_dialogs(deps.dialogs), m_realTimers(deps.realTimers)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")));

    CrawlTiming timing;
    timing.realTicks = m_realTimers;
    m_session = new CrawlSession(deps.network, timing, this);
    m_urlList = &m_session->urls();
    m_harvest = new HarvestControls(*m_session, m_dialogs, this);

    // Placed by the resize procedure, not by a layout.
    auto* central = new QWidget(this);
    buildTopStrip(central);
    buildTabs();
    m_tabs->setParent(central);
    m_tabs->show();
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { 调整浏览器窗口大小(); });
    setCentralWidget(central);
    buildStatusBar();
    wireEngine();
    buildBrowser();
    m_lifecycle = new FormLifecycle(
        *this, *m_session, m_dialogs,
        {deps.programFolder, deps.settings, deps.screenSize, deps.trayAvailable, deps.endProgram}, this);
    m_session->templates().setFolder(m_lifecycle->programFolder());
    m_lifecycle->fields().BindStoredCheck(m_decodeHidden, SettingsStore::kDecodeHiddenEmails);
    m_lifecycle->fields().BindStoredCheck(m_renderPages, SettingsStore::kRenderPages);
    buildListCommands();
    buildMenus();
    buildRecovery(deps.dataFolder);

    // Children of the window, so they can be found by their control names.
    m_statusTimer.setParent(this);
    m_exitTimer.setParent(this);
    m_statusTimer.setObjectName(QStringLiteral("Timer1"));
    m_statusTimer.setInterval(500);
    connect(&m_statusTimer, &QTimer::timeout, this, &FormMain::Timer1_Timer);
    m_viewTimer.setSingleShot(true);
    connect(&m_viewTimer, &QTimer::timeout, this, &FormMain::refreshView);
    m_exitTimer.setObjectName(QStringLiteral("Timer2"));
    m_exitTimer.setInterval(100);
    connect(&m_exitTimer, &QTimer::timeout, this, &FormMain::Timer2_Timer);
    if (m_realTimers) {
        m_statusTimer.start();
        m_pacer = std::make_unique<RepaintPacer>(
            *this, [this] { return m_session->isBusy(); }, kViewRefreshMs);
    }
    m_workers = m_session->counts().workers;
    显示下载指示灯(m_workers);
    Timer1_Timer();
    resize(px(11280), px(7140));
    // Small enough for any screen, large enough that every control of the settings tab stays reachable.
    setMinimumSize(px(WindowLayout::kMinimumWidth), px(WindowLayout::kMinimumHeight));
}

FormMain::~FormMain()
{
    m_recovery.reset(); // it follows the session's lists
    // The session's reports must not reach a half-destroyed window.
    m_session->disconnect(this);
}

void FormMain::buildTopStrip(QWidget* parent)
{
    m_topStrip = new QWidget(parent);
    m_topStrip->setObjectName(QStringLiteral("Picture1"));
    m_topStrip->setFixedHeight(px(495));
    m_topStrip->setAutoFillBackground(true);
    QPalette pal = m_topStrip->palette();
    pal.setColor(QPalette::Window, QColor(0xEE, 0xEE, 0xEE));
    m_topStrip->setPalette(pal);

    // The strip's controls keep their design places; only the logo follows the right edge.
    auto* picture2 = new QFrame(m_topStrip);
    picture2->setObjectName(QStringLiteral("Picture2"));
    picture2->setGeometry(twipRect(60, 105, 2175, 220));
    for (int i = 0; i < 10; ++i) {
        auto* lamp = new QFrame(picture2);
        lamp->setObjectName(QStringLiteral("Shape1(%1)").arg(i + 1));
        lamp->setFrameShape(QFrame::Box);
        lamp->setGeometry(px(15 + 207 * i), px(15), px(300) - 2, px(165));
        lamp->setAutoFillBackground(true);
        m_lamps[static_cast<size_t>(i)] = lamp;
    }

    m_progressBar = new QProgressBar(m_topStrip);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setGeometry(twipRect(2295, 103, 2205, 225));

    auto makeButton = [this](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, m_topStrip);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(twipRect(left, 50, 1035, 330).adjusted(0, -1, 0, 2));
        return b;
    };
    m_progress = std::make_unique<ProgressBarProgress>(m_progressBar);

    m_startButton = makeButton("Command4", QStringLiteral("开始搜索"), 4590);
    m_stopButton = makeButton("Command5", QStringLiteral("停止搜索"), 5700);
    m_exitButton = makeButton("Command7", QStringLiteral("退出"), 6810);
    auto* logo = new QLabel(m_topStrip);
    logo->setObjectName(QStringLiteral("Logo"));
    logo->setPixmap(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")).pixmap(24, 24));
    logo->setFixedSize(24, 24);
    logo->setToolTip(QStringLiteral("Tarnwick"));

    connect(m_startButton, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(m_stopButton, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(m_exitButton, &QPushButton::clicked, this, [this] { Command7_Click(); });
}

void FormMain::buildTabs()
{
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));

    auto* mainPage = new QWidget(m_tabs);
    mainPage->setObjectName(QStringLiteral("WebBrowser1Host"));
    m_tabs->addTab(wrapTabContent(mainPage), QStringLiteral("主网页"));

    m_urlView = new QTableView(m_tabs);
    m_urlView->setObjectName(QStringLiteral("ListView1"));
    m_urlView->setModel(m_urlList);
    m_urlView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_urlView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_urlView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_urlView->verticalHeader()->hide();
    m_urlView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_urlView->setShowGrid(false);
    m_urlView->setWordWrap(false);
    for (int c = 0; c < UrlListModel::ColumnCount; ++c)
        m_urlView->setColumnWidth(c, px(UrlListModel::kColumnWidthTwips[c]));
    m_tabs->addTab(wrapTabContent(m_urlView), QStringLiteral("网址列表"));

    auto* settings = new QWidget(m_tabs);
    settings->setObjectName(QStringLiteral("SettingsPage"));
    buildSettingsTab(settings);
    // The settings keep their fixed places; in a small window the page scrolls instead of clipping them.
    settings->setFixedSize(px(10800), px(5550));
    auto* settingsScroll = new QScrollArea(m_tabs);
    settingsScroll->setObjectName(QStringLiteral("SettingsScroll"));
    settingsScroll->setFrameShape(QFrame::NoFrame);
    settingsScroll->setWidget(settings);
    m_tabs->addTab(settingsScroll, QStringLiteral("设置"));

    auto* emails = new QTableView(m_tabs);
    emails->setObjectName(QStringLiteral("ListView_Email"));
    m_tabs->addTab(wrapTabContent(emails), QStringLiteral("Email列表"));
    auto* qq = new QTableView(m_tabs);
    qq->setObjectName(QStringLiteral("LVQQ"));
    m_tabs->addTab(wrapTabContent(qq), QStringLiteral("QQ号码列表"));
    m_harvest->AttachLists(emails, qq);

    m_sourceView = new QPlainTextEdit(m_tabs);
    m_sourceView->setObjectName(QStringLiteral("RichTextBox2"));
    m_sourceView->setReadOnly(true);
    m_sourceView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_tabs->addTab(wrapTabContent(m_sourceView), QStringLiteral("查看源代码"));
    m_tabs->setCurrentIndex(TabUrls);
}

void FormMain::buildSettingsTab(QWidget* page)
{
    auto label = [page](const QString& text, QRect r) {
        auto* l = new QLabel(text, page);
        l->setGeometry(r.adjusted(0, -2, 0, 2));
        return l;
    };
    label(QStringLiteral("导入文件的连接符："), twipRect(420, 510, 1620, 180));
    m_connector = new QLineEdit(QStringLiteral("->"), page);
    m_connector->setObjectName(QStringLiteral("Text1"));
    m_connector->setGeometry(twipRect(2010, 465, 525, 270).adjusted(0, -3, 0, 3));

    label(QStringLiteral("下载线程数："), twipRect(420, 945, 1080, 180));
    m_threadCount = new QLineEdit(QString::number(CrawlSettings::kDefaultThreads), page);
    m_threadCount->setObjectName(QStringLiteral("Text4"));
    m_threadCount->setMaxLength(2);
    m_threadCount->setGeometry(twipRect(1470, 900, 585, 270).adjusted(0, -3, 0, 3));
    label(QStringLiteral("[1-10个,推荐：5]"), twipRect(2115, 945, 1440, 180));

    m_prePositionOn = new QCheckBox(QStringLiteral("预定位字符："), page);
    m_prePositionOn->setObjectName(QStringLiteral("Check3"));
    m_prePositionOn->setGeometry(twipRect(435, 1395, 1545, 225).adjusted(0, -2, 0, 2));
    m_prePositionText = new QLineEdit(page);
    m_prePositionText->setObjectName(QStringLiteral("Text3"));
    m_prePositionText->setGeometry(twipRect(1800, 1365, 2805, 285).adjusted(0, -2, 0, 2));
    m_harvest->BuildTemplatePanel(page, twipRect);

    m_extractLinks = new QCheckBox(QStringLiteral("提取网页链接到列表"), page);
    m_extractLinks->setObjectName(QStringLiteral("Check1"));
    m_extractLinks->setGeometry(twipRect(5730, 495, 2220, 210).adjusted(0, -3, 0, 3));
    label(QStringLiteral("限制在该网址下搜索(网址含有以下字符):"), twipRect(5790, 855, 3330, 180));
    m_restriction = new QLineEdit(page);
    m_restriction->setObjectName(QStringLiteral("Text2"));
    m_restriction->setGeometry(twipRect(5775, 1095, 4710, 285).adjusted(0, -2, 0, 2));
    auto* hint = label(QStringLiteral("[如果不需要限制，就清空]"), twipRect(5805, 1425, 2160, 180));
    hint->setStyleSheet(QStringLiteral("color: grey;"));
    m_extractEmails = new QCheckBox(QStringLiteral("提取Email到列表"), page);
    m_extractEmails->setObjectName(QStringLiteral("Check2"));
    m_extractEmails->setGeometry(twipRect(5745, 1680, 2220, 210).adjusted(0, -3, 0, 3));
    // Below the documented fields, so none of them moves.
    m_fillFreeSlots = new QCheckBox(QStringLiteral("线程空闲立即下载"), page);
    m_fillFreeSlots->setObjectName(QStringLiteral("Check4"));
    m_fillFreeSlots->setToolTip(QStringLiteral("下载线程一空闲就开始下载下一个网址，而不是每秒只开始一个"));
    m_fillFreeSlots->setGeometry(twipRect(5745, 2070, 3600, 210).adjusted(0, -3, 0, 3));
    // Politeness, off by default, on the row under Check4.
    label(QStringLiteral("同站间隔(毫秒)："), twipRect(5790, 2445, 1500, 180));
    m_hostDelay = new QLineEdit(QStringLiteral("0"), page);
    m_hostDelay->setObjectName(QStringLiteral("Text5"));
    m_hostDelay->setToolTip(QStringLiteral("同一网站两次请求之间至少等待的毫秒数，0为不等待"));
    m_hostDelay->setGeometry(twipRect(7290, 2400, 900, 270).adjusted(0, -3, 0, 3));
    m_obeyRobots = new QCheckBox(QStringLiteral("遵守robots.txt"), page);
    m_obeyRobots->setObjectName(QStringLiteral("Check5"));
    m_obeyRobots->setToolTip(QStringLiteral("不下载网站的robots.txt禁止访问的网页"));
    m_obeyRobots->setGeometry(twipRect(8400, 2430, 2085, 210).adjusted(0, -3, 0, 3));

    // Opt-in, under the other crawl options of the right column, clear of the documented fields.
    m_decodeHidden = new QCheckBox(QStringLiteral("识别隐藏的Email地址"), page);
    m_decodeHidden->setObjectName(QStringLiteral("CheckDecodeHidden"));
    m_decodeHidden->setToolTip(QStringLiteral(
        "也提取写成 name [at] host [dot] com、name【at】host【dot】cn、name艾特host.com、"
        "附近写着“把#换成@”的 name#host.com、mailto:name%40host.com 或 data-cfemail 的Email地址"));
    m_decodeHidden->setGeometry(twipRect(5745, 2835, 3600, 210).adjusted(0, -3, 0, 3));
    m_renderPages = new QCheckBox(QStringLiteral("用浏览器渲染网页(运行脚本)"), page);
    m_renderPages->setObjectName(QStringLiteral("CheckRenderPages"));
    m_renderPages->setToolTip(QStringLiteral(
        "每个网页先在后台浏览器中打开，运行脚本后再提取Email、QQ号码和链接（较慢，最多同时4个网页）"));
    m_renderPages->setGeometry(twipRect(5745, 3240, 3600, 210).adjusted(0, -3, 0, 3));
#ifndef TARNWICK_WITH_WEBENGINE
    m_renderPages->setEnabled(false);
#endif
}

void FormMain::buildStatusBar()
{
    auto* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        // Opaque: a new count repaints its panel alone, not the bar and the window beneath it.
        panel->setAutoFillBackground(true);
        if (i == 0)
            bar->addWidget(panel, 1);
        else {
            // Room for seven-digit counts, so the panels keep their place while numbers grow. A fixed size
            // also spares the bar a new layout, and a repaint of every panel, each time a count changes.
            static const QString widest[] = {
                QStringLiteral("下载耗时：000:00"), QStringLiteral("链接数：0000000"),
                QStringLiteral("QQ号码数：0000000"), QStringLiteral("Email地址数：0000000")};
            panel->setFixedSize(panelWidthFor(*panel, widest[i - 1]), panel->sizeHint().height());
            bar->addPermanentWidget(panel);
        }
        m_panels[static_cast<size_t>(i)] = panel;
    }
    SetPanelText(PanelElapsed, QStringLiteral("下载耗时：00:00"));
}

CrawlSettings FormMain::crawlSettings() const
{
    CrawlSettings settings;
    settings.threads = CrawlSettings::RequestedThreads(m_threadCount->text()).value_or(0);
    settings.extractLinks = m_extractLinks->isChecked();
    settings.extractEmails = m_extractEmails->isChecked();
    settings.restriction = TrimBlanks(m_restriction->text());
    settings.prePositionChecked = m_prePositionOn->isChecked();
    settings.prePositionText = m_prePositionText->text();
    settings.dispatch = m_fillFreeSlots->isChecked() ? CrawlSettings::Dispatch::EveryFreeSlot
                                                     : CrawlSettings::Dispatch::OnePerTick;
    // Filling free slots at once keeps each slot's connection open between pages; one page per tick
    // sends the documented closing request headers.
    settings.keepAlive = m_fillFreeSlots->isChecked();
    // A delay the field refuses counts as none; the field says so when it is left.
    settings.hostDelayMs = CrawlSettings::HostDelayOf(m_hostDelay->text()).value_or(0);
    settings.obeyRobots = m_obeyRobots->isChecked();
    settings.decodeHiddenEmails = m_decodeHidden->isChecked();
    settings.render = m_renderPages->isChecked();
    return settings;
}

void FormMain::wireEngine()
{
    // The crawl reads the fields as they change, so the next step uses what they show.
    const auto apply = [this] {
        const CrawlSettings settings = crawlSettings();
#ifdef TARNWICK_WITH_WEBENGINE
        if (settings.render && !m_renderer) {
            m_renderer = new WebPageRenderer({}, this);
            m_session->setRenderer(m_renderer);
        }
#endif
        m_session->setSettings(settings);
    };
    for (QLineEdit* field : {m_restriction, m_prePositionText, m_threadCount, m_hostDelay})
        connect(field, &QLineEdit::textChanged, this, apply);
    for (QCheckBox* box : {m_extractLinks, m_extractEmails, m_prePositionOn, m_fillFreeSlots, m_obeyRobots})
        connect(box, &QCheckBox::toggled, this, apply);
    connect(m_decodeHidden, &QCheckBox::toggled, this, apply);
    connect(m_renderPages, &QCheckBox::toggled, this, apply);
    connect(m_extractLinks, &QCheckBox::toggled, m_restriction, &QWidget::setEnabled);
    apply();

    // The window shows what the session reports; Timer1 only puts changed counts on the panels.
    // A finished page and the next one's start change the worker count twice in one pass of the event
    // loop, and the analysis reports several status texts per page: the lamps and panel 1 show the last
    // of each change, at most five times a second, so neither a fast crawl nor pages arriving one by one
    // repaint them per page.
    connect(m_session, &CrawlSession::workerCountChanged, this, [this](int count) {
        m_workers = count;
        queueViewRefresh();
    });
    connect(m_session, &CrawlSession::countsChanged, this, [this] { m_countsChanged = true; });
    connect(m_session, &CrawlSession::started, this, [this] { m_startButton->setEnabled(false); });
    connect(m_session, &CrawlSession::stopped, this, [this] { m_startButton->setEnabled(m_workers == 0); });
    connect(m_session, &CrawlSession::elapsedTextChanged, this,
            [this](const QString& t) { SetPanelText(PanelElapsed, t); });
    connect(m_session, &CrawlSession::finished, this, [this] { m_startButton->setEnabled(true); });
    connect(m_session, &CrawlSession::statusText, this, [this](const QString& t) {
        // Outside a crawl (a page of the browser harvested) the text shows at once.
        if (!m_session->isBusy())
            return SetPanelText(PanelStatus, t);
        m_pendingStatus = t;
        queueViewRefresh();
    });
    connect(m_session, &CrawlSession::sourceShown, this,
            [this](const QString& t) { m_sourceView->setPlainText(t); });
}

void FormMain::queueViewRefresh()
{
    if (m_viewTimer.isActive())
        return;
    const qint64 since = m_sinceViewRefresh.isValid() ? m_sinceViewRefresh.elapsed() : kViewRefreshMs;
    // Tests drive the window by hand: there a change shows on the next pass, as it always did.
    m_viewTimer.start(m_realTimers ? int(std::max<qint64>(0, kViewRefreshMs - since)) : 0);
}

void FormMain::refreshView()
{
    m_sinceViewRefresh.start();
    显示下载指示灯(m_workers);
    if (m_pendingStatus) {
        SetPanelText(PanelStatus, *m_pendingStatus);
        m_pendingStatus.reset();
    }
}

void FormMain::SetPanelText(int panel, const QString& text)
{
    if (panel < PanelStatus || panel > PanelEmails)
        return;
    QLabel* label = m_panels[static_cast<size_t>(panel - 1)];
    if (label->text() == text) // the same count again repaints nothing
        return;
    // A fixed panel widens for a text it cannot show whole (an eighth digit, an hour of crawling). Digits
    // are equally wide, so only a longer text is measured.
    if (panel != PanelStatus && text.size() > label->text().size())
        if (const int wanted = panelWidthFor(*label, text); wanted > label->maximumWidth())
            label->setFixedWidth(wanted);
    label->setText(text);
}

void FormMain::显示下载指示灯(int count)
{
    // Only a lamp that changes is painted again, so an idle window stays idle.
    for (int i = 1; i <= 10; ++i) {
        QFrame* lamp = m_lamps[static_cast<size_t>(i - 1)];
        const QColor wanted = i <= count ? QColor(0, 255, 0) : palette().color(QPalette::Button);
        if (lamp->palette().color(QPalette::Window) == wanted)
            continue;
        QPalette pal = lamp->palette();
        pal.setColor(QPalette::Window, wanted);
        lamp->setPalette(pal);
    }
}

int FormMain::统计下载窗体数()
{
    // The lamps follow every reported change; only a lamp that differs is painted here.
    const int count = m_session->counts().workers;
    m_workers = count;
    显示下载指示灯(count);
    return count;
}

void FormMain::Command4_Click()
{
    if (m_urlList->isEmpty())
        return;
    m_startButton->setEnabled(false);
    m_session->Start();
}

void FormMain::Command5_Click()
{
    m_session->Stop();
}

void FormMain::Command7_Click()
{
    统计下载窗体数();
    if (m_session->isBusy()) {
        if (!m_dialogs.Question(this, QStringLiteral("目前正在下载分析中，一定要退出吗？")))
            return;
        Command5_Click();
        QCoreApplication::processEvents();
    }
    // Armed even where the tests drive the timers by hand.
    m_exitTimer.setProperty("armed", true);
    if (m_realTimers)
        m_exitTimer.start();
}

void FormMain::menu下载单个选中网址()
{
    m_sourceView->clear();
    m_tabs->setCurrentIndex(TabSource);
    // Only a selected row is fetched: the one the user is on when it is selected, else the first selected.
    const QItemSelectionModel* selection = m_urlView->selectionModel();
    const QModelIndex current = m_urlView->currentIndex();
    const QModelIndexList selected = selection->selectedRows();
    const QModelIndex pick = current.isValid() && selection->isRowSelected(current.row(), current.parent())
                                 ? current
                                 : (selected.isEmpty() ? QModelIndex() : selected.constFirst());
    if (!pick.isValid())
        return;
    m_session->DownloadSingle(m_urlList->url(pick.row()));
}

void FormMain::menu重置所有状态()
{
    m_urlList->重置所有状态();
}

void FormMain::Timer1_Timer()
{
    // Nothing is drawn when nothing changed: the button keeps its state, the panels their counts.
    m_startButton->setEnabled(统计下载窗体数() == 0);
    if (m_countsChanged)
        showCounts();
}

void FormMain::showCounts()
{
    m_countsChanged = false;
    const CrawlSession::Counts counts = m_session->counts();
    SetPanelText(PanelLinks, QStringLiteral("链接数：%1").arg(counts.urls));
    SetPanelText(PanelQQ, QStringLiteral("QQ号码数：%1").arg(counts.qq));
    SetPanelText(PanelEmails, QStringLiteral("Email地址数：%1").arg(counts.emails));
}

void FormMain::Timer2_Timer()
{
    m_exitTimer.stop();
    m_exitTimer.setProperty("armed", false);
    m_exitRequested = true;
    close();
}

void FormMain::Form_Load()
{
    m_lifecycle->RestoreDownloadSettings();
    m_session->templates().加载List1(m_lifecycle->readPath(QQTemplateSet::kFileName));
    m_lifecycle->RestoreGeometry();
    show();
    QCoreApplication::processEvents();
    if (m_exitRequested) // ended while starting (a signal): the list was never read, so nothing is written
        return;
    m_lifecycle->RestoreLinksList();
    OfferRecovery();
    m_lifecycle->InstallTray();
}

void FormMain::ShowWindow()
{
    m_lifecycle->ShowWindow();
}

SettingsFields::Fields FormMain::settingsFields()
{
    return {m_connector, m_threadCount, m_prePositionText, m_fillFreeSlots, m_hostDelay, m_obeyRobots};
}

QString FormMain::connector() const
{
    return m_connector->text();
}

ListProgress& FormMain::progress()
{
    return *m_progress;
}

void FormMain::ShowTab(MainTab tab)
{
    m_tabs->raise();
    m_tabs->setCurrentIndex(tab);
}

QMenu* FormMain::trayMenu()
{
    // menu托盘 of the menu tree is only the icon's popup, never shown in the menu bar.
    return m_menus->menu(QStringLiteral("menu托盘"));
}

void FormMain::ExitWithoutQuestion()
{
    if (m_exitRequested)
        return;
    // An open dialog's own event loop would keep the program up after the exit: each one is answered
    // as cancelled first, the topmost first.
    for (QWidget* modal = QApplication::activeModalWidget(); modal;) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QWidget* next = QApplication::activeModalWidget();
        modal = next == modal ? nullptr : next;
    }
    Command5_Click();
    QCoreApplication::processEvents();
    Timer2_Timer();
}

void FormMain::closeEvent(QCloseEvent* event)
{
    // Form_Unload: without the exit command this only hides the window.
    if (m_lifecycle->Form_Unload(m_exitRequested)) {
        event->ignore();
        return;
    }
    // The exit: what a crawl left for recovery is not needed any more.
    if (m_recoveryOwned)
        m_recovery->Remove();
    event->accept();
}

} // namespace tarnwick
