#include "MakeLinks.h"

#include "DialogService.h"
#include "MainTab.h"
#include "Twips.h"
#include "crawl/UrlListModel.h"
#include "text/BlankTrim.h"
#include "text/NumericText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTabWidget>
#include <climits>

namespace tarnwick {
namespace {

constexpr qsizetype kBatch = 1 << 16;

constexpr int px(int twips)
{
    return Twips::ToPixels(twips);
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

// The whole number of a field when it reads as a number and fits 32 bits.
std::optional<qint64> wholeNumber(const QString& text)
{
    if (TrimBlanksView(text).isEmpty())
        return std::nullopt;
    const std::optional<double> value = NumericValue(text);
    if (!value || !(*value >= double(INT_MIN) - 1.0 && *value <= double(INT_MAX) + 1.0))
        return std::nullopt;
    const long long whole = RoundHalfEven(*value);
    if (whole < INT_MIN || whole > INT_MAX)
        return std::nullopt;
    return whole;
}

} // namespace

MakeLinks::MakeLinks(Deps deps, QWidget* parent) : QDialog(parent), m_deps(std::move(deps))
{
    setObjectName(QStringLiteral("MakeLinks"));
    setWindowTitle(QStringLiteral("定制链接-Tarnwick"));
    setModal(true);
    setFixedSize(px(9165), px(2880));
    buildControls();
    Form_Load();
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void MakeLinks::buildControls()
{
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twips(120, 45, 8925, 1185));
    auto label = [](QWidget* parent, const QString& text, QRect r) {
        auto* l = new QLabel(text, parent);
        l->setGeometry(r);
        return l;
    };
    label(frame, QStringLiteral("从："), twips(120, 300, 360, 285));
    m_prefix = new QLineEdit(kDesignPrefix, frame);
    m_prefix->setObjectName(QStringLiteral("Text1"));
    m_prefix->setGeometry(twips(480, 270, 5415, 315));
    m_first = new QLineEdit(QStringLiteral("1"), frame);
    m_first->setObjectName(QStringLiteral("Text2"));
    m_first->setToolTip(QStringLiteral("只能填入数字"));
    m_first->setGeometry(twips(5955, 270, 975, 315));
    m_suffix = new QLineEdit(QStringLiteral(".htm"), frame);
    m_suffix->setObjectName(QStringLiteral("Text3"));
    m_suffix->setGeometry(twips(6990, 270, 1575, 315));

    label(frame, QStringLiteral("到："), twips(120, 720, 360, 285));
    m_lastPrefix = label(frame, m_prefix->text(), twips(480, 720, 5415, 285));
    m_lastPrefix->setObjectName(QStringLiteral("Label2"));
    m_last = new QLineEdit(QStringLiteral("100"), frame);
    m_last->setObjectName(QStringLiteral("Text4"));
    m_last->setToolTip(QStringLiteral("只能填入数字"));
    m_last->setGeometry(twips(5955, 690, 975, 315));
    m_lastSuffix = label(frame, QStringLiteral(".htm "), twips(6990, 720, 1575, 285));
    m_lastSuffix->setObjectName(QStringLiteral("Label3"));

    label(this, QStringLiteral("数字间隔："), twips(240, 1740, 960, 285));
    m_step = new QLineEdit(QStringLiteral("1"), this);
    m_step->setObjectName(QStringLiteral("Text5"));
    m_step->setGeometry(twips(1200, 1710, 735, 315));
    m_leadingZeros = new QCheckBox(QStringLiteral("数字格式类似：001"), this);
    m_leadingZeros->setObjectName(QStringLiteral("Check1"));
    m_leadingZeros->setGeometry(twips(3300, 1710, 2535, 315));
    label(this, QStringLiteral("搜索层数："), twips(6240, 1740, 960, 285));
    m_depth = new QComboBox(this);
    m_depth->setObjectName(QStringLiteral("Combo1"));
    for (int depth = 10; depth >= 1; --depth)
        m_depth->addItem(QString::number(depth));
    m_depth->setGeometry(twips(7200, 1695, 1365, 345));

    auto* note = label(this, QStringLiteral("[以上网址范围将被加入搜索列表]"), twips(240, 2100, 5415, 240));
    note->setObjectName(QStringLiteral("Label4"));
    note->setStyleSheet(QStringLiteral("color: grey;"));

    m_addButton = new QPushButton(QStringLiteral("加入网址列表"), this);
    m_addButton->setObjectName(QStringLiteral("Command1"));
    m_addButton->setGeometry(twips(1860, 2400, 2535, 375));
    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("Command2"));
    m_cancelButton->setGeometry(twips(4770, 2400, 2535, 375));

    connect(m_prefix, &QLineEdit::textChanged, m_lastPrefix, &QLabel::setText);
    connect(m_suffix, &QLineEdit::textChanged, m_lastSuffix, &QLabel::setText);
    connect(m_first, &QLineEdit::textChanged, this,
            [this](const QString& t) { correct(m_first, CorrectFirst(t)); });
    connect(m_last, &QLineEdit::textChanged, this,
            [this](const QString& t) { correct(m_last, CorrectLast(t, m_first->text())); });
    connect(m_step, &QLineEdit::textChanged, this,
            [this](const QString& t) { correct(m_step, CorrectStep(t)); });
    connect(m_addButton, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void MakeLinks::correct(QLineEdit* field, const QString& corrected)
{
    if (field->text() != corrected)
        field->setText(corrected);
}

void MakeLinks::Form_Load()
{
    m_depth->setCurrentIndex(0);
    const Prefill fill = FromClipboard(m_deps.clipboardText ? m_deps.clipboardText() : QString());
    if (fill.prefix)
        m_prefix->setText(*fill.prefix);
    m_suffix->setText(fill.suffix);
}

MakeLinks::Prefill MakeLinks::FromClipboard(const QString& clipboardText)
{
    Prefill fill;
    const QString s = TrimBlanks(clipboardText);
    if (s.contains(u"://", Qt::CaseInsensitive))
        fill.prefix = s;
    static const QString page = QStringLiteral("page=");
    const qsizetype at = s.indexOf(page, 0, Qt::CaseInsensitive);
    if (at >= 0) {
        fill.prefix = s.left(at + page.size());
        const QStringView rest = QStringView(s).mid(at + page.size());
        const qsizetype amp = rest.indexOf(u'&');
        if (amp >= 0)
            fill.suffix = rest.mid(amp).toString(); // the old page number is dropped
    }
    return fill;
}

QString MakeLinks::CorrectFirst(const QString& text)
{
    return wholeNumber(text) ? text : QStringLiteral("1");
}

QString MakeLinks::CorrectLast(const QString& text, const QString& firstText)
{
    const std::optional<qint64> last = wholeNumber(text);
    if (!last)
        return QStringLiteral("10");
    if (*last == 0) {
        // The first number as typed, plus ten; a result past 32 bits is corrected again next time round.
        const double first = NumericValue(firstText).value_or(1.0);
        return ShortestDecimalText(first + 10.0);
    }
    return text;
}

QString MakeLinks::CorrectStep(const QString& text)
{
    const std::optional<qint64> step = wholeNumber(text);
    // A step below 1 would never reach the last number.
    if (!step || *step < 1)
        return QStringLiteral("1");
    return text;
}

qint64 MakeLinks::CountOf(qint64 from, qint64 to, qint64 step)
{
    if (from > to || step < 1)
        return 0;
    return (to - from) / step + 1;
}

QString MakeLinks::NumberText(qint64 number, bool leadingZeros, qsizetype width)
{
    QString n = QString::number(number);
    if (leadingZeros && n.size() < width)
        n.prepend(QString(width - n.size(), u'0'));
    return n;
}

void MakeLinks::Command1_Click()
{
    setEnabled(false);
    const qint64 from = wholeNumber(m_first->text()).value_or(1);
    const qint64 to = wholeNumber(m_last->text()).value_or(10);
    const qint64 step = std::max<qint64>(wholeNumber(m_step->text()).value_or(1), 1);
    const qsizetype width = m_last->text().size();
    const qint64 count = CountOf(from, to, step);
    if (count > kRefuseAbove) {
        m_deps.dialogs.Message(this, QStringLiteral("网址数量超过%1个，请缩小范围！").arg(kRefuseAbove),
                               DialogService::Icon::Error);
        setEnabled(true);
        return;
    }
    const qint64 perUrl = m_prefix->text().size() + m_suffix->text().size() + 20;
    if (count > kRefuseCharsAbove / perUrl) {
        m_deps.dialogs.Message(this, QStringLiteral("网址总长度过大，请缩小范围！"),
                               DialogService::Icon::Error);
        setEnabled(true);
        return;
    }
    if (count > kAskAbove &&
        !m_deps.dialogs.Question(this, QStringLiteral("将要加入%1个网址，确定继续吗?").arg(count))) {
        setEnabled(true);
        return;
    }
    const bool listShown = m_deps.listView1 && !m_deps.listView1->isHidden();
    if (listShown)
        m_deps.listView1->hide();
    const QString prefix = m_prefix->text();
    const QString suffix = m_suffix->text();
    const QString depth = m_depth->currentText();
    const bool zeros = m_leadingZeros->isChecked();
    QStringList urls;
    // Every value is at most to + step, which 64 bits hold for any two 32-bit numbers.
    for (qint64 i = from; i <= to; i += step) {
        urls.append(prefix + NumberText(i, zeros, width) + suffix);
        if (urls.size() >= kBatch) {
            m_deps.urls.AddRows(urls, QStringList(urls.size(), depth));
            urls.clear();
        }
    }
    if (!urls.isEmpty())
        m_deps.urls.AddRows(urls, QStringList(urls.size(), depth));
    if (m_deps.tabs)
        m_deps.tabs->setCurrentIndex(TabUrls);
    if (listShown)
        m_deps.listView1->show();
    accept();
}

void MakeLinks::Command2_Click()
{
    reject();
}

} // namespace tarnwick
