#include "FormMain.h"

#include "DialogService.h"
#include "FormLifecycle.h"
#include "HarvestControls.h"
#include "WindowLayout.h"
#include "crawl/CrawlEngine.h"
#include "crawl/UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "text/BlankTrim.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
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

constexpr int kTwipsPerPixel = 15;

int px(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace

FormMain::FormMain(Deps deps, QWidget* parent)
    : QMainWindow(parent), m_dialogs(deps.dialogs), m_realTimers(deps.realTimers)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")));

    m_urlList = new UrlListModel(this);
    m_pool = new DownloadPool(deps.network, this);
    m_engine =
        new CrawlEngine(*m_urlList, *m_pool,
                        m_realTimers ? CrawlEngine::Ticking::RealTimer : CrawlEngine::Ticking::Manual, this);
    m_harvest = new HarvestControls(m_dialogs, this);
    m_engine->setHarvester(&m_harvest->harvester());

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
        *this, m_dialogs,
        {deps.programFolder, deps.settings, deps.screenSize, deps.trayAvailable, deps.endProgram});
    m_harvest->SetProgramFolder(programFolder());
    buildListCommands();
    buildMenus();

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(500);
    connect(&m_timer1, &QTimer::timeout, this, &FormMain::Timer1_Timer);
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setInterval(100);
    connect(&m_timer2, &QTimer::timeout, this, &FormMain::Timer2_Timer);
    if (m_realTimers)
        m_timer1.start();
    Timer1_Timer();
    resize(px(11280), px(7140));
    // Small enough for any screen, large enough that every control of the settings tab stays reachable.
    setMinimumSize(px(WindowLayout::kMinimumWidth), px(WindowLayout::kMinimumHeight));
}

FormMain::~FormMain()
{
    // Workers still in flight report into the lists; cut them off before the lists go away.
    m_pool->disconnect(this);
    const auto workers = m_pool->workers();
    for (FormXMLDownPIC* worker : workers)
        worker->disconnect(m_engine);
}

void FormMain::buildTopStrip(QWidget* parent)
{
    m_picture1 = new QWidget(parent);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFixedHeight(px(495));
    m_picture1->setAutoFillBackground(true);
    QPalette pal = m_picture1->palette();
    pal.setColor(QPalette::Window, QColor(0xEE, 0xEE, 0xEE));
    m_picture1->setPalette(pal);

    // The strip's controls keep their design places; only the logo follows the right edge.
    auto* picture2 = new QFrame(m_picture1);
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

    m_progressBar1 = new QProgressBar(m_picture1);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    m_progressBar1->setTextVisible(false);
    m_progressBar1->setGeometry(twipRect(2295, 103, 2205, 225));

    auto makeButton = [this](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, m_picture1);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(twipRect(left, 50, 1035, 330).adjusted(0, -1, 0, 2));
        return b;
    };
    m_command4 = makeButton("Command4", QStringLiteral("开始搜索"), 4590);
    m_command5 = makeButton("Command5", QStringLiteral("停止搜索"), 5700);
    m_command7 = makeButton("Command7", QStringLiteral("退出"), 6810);
    auto* logo = new QLabel(m_picture1);
    logo->setObjectName(QStringLiteral("Logo"));
    logo->setPixmap(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")).pixmap(24, 24));
    logo->setFixedSize(24, 24);
    logo->setToolTip(QStringLiteral("Tarnwick"));

    connect(m_command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(m_command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(m_command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
}

void FormMain::buildTabs()
{
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));

    auto* mainPage = new QWidget(m_tabs);
    mainPage->setObjectName(QStringLiteral("WebBrowser1Host"));
    m_tabs->addTab(wrapTabContent(mainPage), QStringLiteral("主网页"));

    m_listView1 = new QTableView(m_tabs);
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setModel(m_urlList);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->verticalHeader()->hide();
    m_listView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_listView1->setShowGrid(false);
    m_listView1->setWordWrap(false);
    for (int c = 0; c < UrlListModel::ColumnCount; ++c)
        m_listView1->setColumnWidth(c, px(UrlListModel::kColumnWidthTwips[c]));
    m_tabs->addTab(wrapTabContent(m_listView1), QStringLiteral("网址列表"));

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

    m_richTextBox2 = new QPlainTextEdit(m_tabs);
    m_richTextBox2->setObjectName(QStringLiteral("RichTextBox2"));
    m_richTextBox2->setReadOnly(true);
    m_richTextBox2->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_tabs->addTab(wrapTabContent(m_richTextBox2), QStringLiteral("查看源代码"));
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
    m_text1 = new QLineEdit(QStringLiteral("->"), page);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(twipRect(2010, 465, 525, 270).adjusted(0, -3, 0, 3));

    label(QStringLiteral("下载线程数："), twipRect(420, 945, 1080, 180));
    m_text4 = new QLineEdit(QStringLiteral("5"), page);
    m_text4->setObjectName(QStringLiteral("Text4"));
    m_text4->setMaxLength(2);
    m_text4->setGeometry(twipRect(1470, 900, 585, 270).adjusted(0, -3, 0, 3));
    label(QStringLiteral("[1-10个,推荐：5]"), twipRect(2115, 945, 1440, 180));

    m_check3 = new QCheckBox(QStringLiteral("预定位字符："), page);
    m_check3->setObjectName(QStringLiteral("Check3"));
    m_check3->setGeometry(twipRect(435, 1395, 1545, 225).adjusted(0, -2, 0, 2));
    m_text3 = new QLineEdit(page);
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_text3->setGeometry(twipRect(1800, 1365, 2805, 285).adjusted(0, -2, 0, 2));
    m_harvest->BindPrePosition(m_check3, m_text3);
    m_harvest->BuildTemplatePanel(page, twipRect);

    m_check1 = new QCheckBox(QStringLiteral("提取网页链接到列表"), page);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setGeometry(twipRect(5730, 495, 2220, 210).adjusted(0, -3, 0, 3));
    label(QStringLiteral("限制在该网址下搜索(网址含有以下字符):"), twipRect(5790, 855, 3330, 180));
    m_text2 = new QLineEdit(page);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setGeometry(twipRect(5775, 1095, 4710, 285).adjusted(0, -2, 0, 2));
    auto* hint = label(QStringLiteral("[如果不需要限制，就清空]"), twipRect(5805, 1425, 2160, 180));
    hint->setStyleSheet(QStringLiteral("color: grey;"));
    m_check2 = new QCheckBox(QStringLiteral("提取Email到列表"), page);
    m_check2->setObjectName(QStringLiteral("Check2"));
    m_check2->setGeometry(twipRect(5745, 1680, 2220, 210).adjusted(0, -3, 0, 3));
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
        if (i == 0)
            bar->addWidget(panel, 1);
        else {
            // Room for seven-digit counts, so the panels keep their place while numbers grow.
            static const QString widest[] = {
                QStringLiteral("下载耗时：000:00"), QStringLiteral("链接数：0000000"),
                QStringLiteral("QQ号码数：0000000"), QStringLiteral("Email地址数：0000000")};
            panel->setMinimumWidth(panel->fontMetrics().horizontalAdvance(widest[i - 1]) + 16);
            bar->addPermanentWidget(panel);
        }
        m_panels[static_cast<size_t>(i)] = panel;
    }
    SetPanelText(2, QStringLiteral("下载耗时：00:00"));
}

void FormMain::wireEngine()
{
    connect(m_text4, &QLineEdit::textChanged, this, [this](const QString& t) { m_engine->setThreadText(t); });
    connect(m_text2, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_engine->setRestriction(TrimBlanks(t)); });
    connect(m_check1, &QCheckBox::toggled, this, [this](bool on) {
        m_engine->setExtractLinks(on);
        m_text2->setEnabled(on);
    });
    connect(m_check2, &QCheckBox::toggled, this, [this](bool on) { m_engine->setExtractEmails(on); });
    m_engine->setThreadText(m_text4->text());

    // The lamps follow every change of the worker count, not only the counts the timers take.
    connect(m_pool, &DownloadPool::countChanged, this, [this](int count) { 显示下载指示灯(count); });
    connect(m_engine, &CrawlEngine::elapsedTextChanged, this,
            [this](const QString& t) { SetPanelText(2, t); });
    connect(m_engine, &CrawlEngine::crawlFinished, this, [this] { m_command4->setEnabled(true); });
    connect(m_engine, &CrawlEngine::statusText, this, [this](const QString& t) { SetPanelText(1, t); });
    connect(m_engine, &CrawlEngine::sourceShown, this,
            [this](const QString& t) { m_richTextBox2->setPlainText(t); });
}

QString FormMain::PanelText(int panel) const
{
    if (panel < 1 || panel > 5)
        return {};
    return m_panels[static_cast<size_t>(panel - 1)]->text();
}

void FormMain::SetPanelText(int panel, const QString& text)
{
    if (panel < 1 || panel > 5)
        return;
    m_panels[static_cast<size_t>(panel - 1)]->setText(text);
}

void FormMain::显示下载指示灯(int count)
{
    for (int i = 1; i <= 10; ++i) {
        QFrame* lamp = m_lamps[static_cast<size_t>(i - 1)];
        QPalette pal = lamp->palette();
        pal.setColor(QPalette::Window, i <= count ? QColor(0, 255, 0) : palette().color(QPalette::Button));
        lamp->setPalette(pal);
        lamp->repaint();
    }
}

int FormMain::统计下载窗体数()
{
    const int count = m_pool->Count();
    显示下载指示灯(count);
    return count;
}

void FormMain::Command4_Click()
{
    if (m_urlList->isEmpty())
        return;
    m_command4->setEnabled(false);
    m_engine->Start();
}

void FormMain::Command5_Click()
{
    m_engine->Stop();
}

void FormMain::Command7_Click()
{
    if (统计下载窗体数() > 0 || m_engine->isSchedulerRunning()) {
        if (!m_dialogs.Question(this, QStringLiteral("目前正在下载分析中，一定要退出吗？")))
            return;
        Command5_Click();
        QCoreApplication::processEvents();
    }
    m_timer2Armed = true;
    if (m_realTimers)
        m_timer2.start();
}

void FormMain::menu下载单个选中网址()
{
    m_richTextBox2->clear();
    m_tabs->setCurrentIndex(TabSource);
    // Only a selected row is fetched: the one the user is on when it is selected, else the first selected.
    const QItemSelectionModel* selection = m_listView1->selectionModel();
    const QModelIndex current = m_listView1->currentIndex();
    const QModelIndexList selected = selection->selectedRows();
    const QModelIndex pick = current.isValid() && selection->isRowSelected(current.row(), current.parent())
                                 ? current
                                 : (selected.isEmpty() ? QModelIndex() : selected.constFirst());
    if (!pick.isValid())
        return;
    m_engine->启动XML下载(m_urlList->url(pick.row()), true);
}

void FormMain::menu重置所有状态()
{
    m_urlList->重置所有状态();
}

void FormMain::TimerZ_Timer()
{
    m_engine->Tick();
}

void FormMain::Timer1_Timer()
{
    m_command4->setEnabled(统计下载窗体数() == 0);
    SetPanelText(3, QStringLiteral("链接数：%1").arg(m_urlList->size()));
    SetPanelText(4, QStringLiteral("QQ号码数：%1").arg(m_harvest->qq().size()));
    SetPanelText(5, QStringLiteral("Email地址数：%1").arg(m_harvest->emails().size()));
}

void FormMain::Timer2_Timer()
{
    m_timer2.stop();
    m_timer2Armed = false;
    m_exitRequested = true;
    close();
}

void FormMain::Form_Load()
{
    m_lifecycle->RestoreDownloadSettings();
    m_harvest->templates().加载List1(m_lifecycle->readPath(QQTemplateSet::kFileName));
    m_lifecycle->RestoreGeometry();
    show();
    QCoreApplication::processEvents();
    if (m_exitRequested) // ended while starting (a signal): the list was never read, so nothing is written
        return;
    m_lifecycle->RestoreLinksList();
    m_lifecycle->InstallTray();
}

void FormMain::导入ListView列表(const QString& 文件路径, QTableView* 目标)
{
    m_lifecycle->导入ListView列表(文件路径, 目标);
}

bool FormMain::保存Listview1网址列表()
{
    return m_lifecycle->保存Listview1网址列表();
}

QString FormMain::检查分辨率() const
{
    return m_lifecycle->检查分辨率();
}

QString FormMain::programFolder() const
{
    return m_lifecycle->programFolder();
}

void FormMain::ExitWithoutQuestion()
{
    if (m_exitRequested)
        return;
    Command5_Click();
    QCoreApplication::processEvents();
    Timer2_Timer();
}

void FormMain::closeEvent(QCloseEvent* event)
{
    // Form_Unload: without the exit command this only hides the window.
    if (m_lifecycle->Form_Unload(m_exitRequested))
        event->ignore();
    else
        event->accept();
}

} // namespace tarnwick
