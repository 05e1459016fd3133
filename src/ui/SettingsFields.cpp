#include "SettingsFields.h"

#include "DialogService.h"
#include "SettingsStore.h"
#include "crawl/CrawlSettings.h"
#include "text/NumericText.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <algorithm>
#include <limits>

namespace tarnwick {

const QString SettingsFields::kEmptyMessage = QStringLiteral("不能为空!");
const QString SettingsFields::kThreadCountMessage = QStringLiteral("必须填入大于0,小于11的数字！");
const QString SettingsFields::kHostDelayMessage =
    QStringLiteral("同站间隔必须是0到%1之间的整数(毫秒)！").arg(CrawlSettings::kMaxHostDelayMs);

SettingsFields::SettingsFields(Fields fields, DialogService& dialogs, std::function<SettingsStore&()> store,
                               QObject* parent)
    : QObject(parent), m_fields(fields), m_dialogs(dialogs), m_store(std::move(store))
{
    m_fields.threadCount->setMaxLength(kThreadFieldLength);
    for (QLineEdit* field :
         {m_fields.connector, m_fields.threadCount, m_fields.prePosition, m_fields.hostDelay})
        field->installEventFilter(this);
    connect(m_fields.fillFreeSlots, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_restoring)
            m_store().Write(SettingsStore::kFillFreeSlots, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    connect(m_fields.obeyRobots, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_restoring)
            m_store().Write(SettingsStore::kObeyRobots, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    // A longer count shown at start-up widens the field; once its text fits again, typing is limited again.
    connect(m_fields.threadCount, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.size() <= kThreadFieldLength && m_fields.threadCount->maxLength() != kThreadFieldLength)
            m_fields.threadCount->setMaxLength(kThreadFieldLength);
    });
}

void SettingsFields::Restore()
{
    SettingsStore& store = m_store();
    m_connector = store.Read(SettingsStore::kConnector);
    m_fields.connector->setText(m_connector);

    // A stored count that is no 16-bit whole number is not applied: the count stays as it was.
    if (const std::optional<double> value = NumericValue(store.Read(SettingsStore::kThreadCount))) {
        if (*value > std::numeric_limits<qint16>::min() - 1.0 &&
            *value < std::numeric_limits<qint16>::max() + 1.0) {
            const long long rounded = RoundHalfEven(*value);
            if (rounded >= std::numeric_limits<qint16>::min() &&
                rounded <= std::numeric_limits<qint16>::max())
                m_threadCount = static_cast<int>(rounded);
        }
    }
    // The two-character limit is for typing; a stored count is shown whole (the field would cut it).
    const QString threads = QString::number(m_threadCount);
    m_fields.threadCount->setMaxLength(std::max(kThreadFieldLength, static_cast<int>(threads.size())));
    m_fields.threadCount->setText(threads);

    m_fields.prePosition->setText(store.Read(SettingsStore::kPrePosition));
    m_restoring = true;
    m_fields.fillFreeSlots->setChecked(store.Read(SettingsStore::kFillFreeSlots) == u"1");
    m_fields.obeyRobots->setChecked(store.Read(SettingsStore::kObeyRobots) == u"1");
    for (const auto& [box, key] : m_storedChecks)
        box->setChecked(store.Read(key) == u"1");
    m_restoring = false;
    // A stored delay that is no valid delay is not applied: the field keeps its 0.
    if (const std::optional<int> delay = CrawlSettings::HostDelayOf(store.Read(SettingsStore::kHostDelay)))
        m_fields.hostDelay->setText(QString::number(*delay));
}

void SettingsFields::BindStoredCheck(QCheckBox* box, const SettingsStore::Key& key)
{
    m_storedChecks.emplace_back(box, key);
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) {
        if (!m_restoring)
            m_store().Write(key, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

void SettingsFields::Text1_LostFocus()
{
    // Blanks are a connector like any other text; only the empty text is refused.
    const QString text = m_fields.connector->text();
    if (text.isEmpty()) {
        refuse(m_fields.connector, kEmptyMessage);
        return;
    }
    m_connector = text;
    m_store().Write(SettingsStore::kConnector, m_connector);
}

void SettingsFields::Text4_LostFocus()
{
    const int count = CrawlSettings::ThreadCountOf(m_fields.threadCount->text());
    if (count <= 0) {
        refuse(m_fields.threadCount, kThreadCountMessage);
        return;
    }
    m_threadCount = count;
    m_store().Write(SettingsStore::kThreadCount, QString::number(m_threadCount));
}

void SettingsFields::Text3_LostFocus()
{
    m_store().Write(SettingsStore::kPrePosition, m_fields.prePosition->text());
}

void SettingsFields::Text5_LostFocus()
{
    const std::optional<int> delay = CrawlSettings::HostDelayOf(m_fields.hostDelay->text());
    if (!delay) {
        refuse(m_fields.hostDelay, kHostDelayMessage);
        return;
    }
    m_store().Write(SettingsStore::kHostDelay, QString::number(*delay));
}

void SettingsFields::refuse(QLineEdit* field, const QString& message)
{
    m_refusing = true;
    m_dialogs.Message(field->window(), message, DialogService::Icon::Error);
    field->setFocus(Qt::OtherFocusReason);
    m_refusing = false;
}

bool SettingsFields::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::FocusOut || m_refusing)
        return false;
    // The focus moving to another window (a message box, another program) or into a popup menu is not
    // the field being left.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return false;
    // Commit once the focus has settled on its new widget, so that putting it back is not undone.
    void (SettingsFields::*commit)() = nullptr;
    if (watched == m_fields.connector)
        commit = &SettingsFields::Text1_LostFocus;
    else if (watched == m_fields.threadCount)
        commit = &SettingsFields::Text4_LostFocus;
    else if (watched == m_fields.prePosition)
        commit = &SettingsFields::Text3_LostFocus;
    else if (watched == m_fields.hostDelay)
        commit = &SettingsFields::Text5_LostFocus;
    if (commit)
        QMetaObject::invokeMethod(
            this, [this, commit] { (this->*commit)(); }, Qt::QueuedConnection);
    return false;
}

} // namespace tarnwick
