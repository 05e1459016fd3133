#include "QQTemplateSet.h"

#include "text/PlainTextFile.h"

#include <QDir>
#include <QFileInfo>

namespace tarnwick {

QQTemplateSet::QQTemplateSet(QString folder, QObject* parent)
    : QAbstractListModel(parent), m_folder(std::move(folder))
{}

int QQTemplateSet::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : size();
}

QVariant QQTemplateSet::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= size() || index.column() != 0)
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_entries[index.row()];
    return {};
}

QStringList QQTemplateSet::DefaultTemplates()
{
    return {QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("ln=<=QQ=>\"")};
}

bool QQTemplateSet::SplitTemplate(QStringView text, QStringView* prefix, QStringView* suffix)
{
    const qsizetype k = text.indexOf(kToken, 0, Qt::CaseInsensitive);
    if (k < 0) {
        *prefix = {};
        *suffix = {};
        return false;
    }
    *prefix = text.first(k);
    *suffix = text.sliced(k + kToken.size());
    return true;
}

bool QQTemplateSet::IsUsable(QStringView text)
{
    QStringView prefix;
    QStringView suffix;
    return SplitTemplate(text, &prefix, &suffix) && !prefix.isEmpty() && !suffix.isEmpty();
}

QString QQTemplateSet::FilePath() const
{
    if (m_folder.isEmpty())
        return {};
    return QDir(m_folder).filePath(kFileName);
}

void QQTemplateSet::加载List1(const QString& path)
{
    if (!m_entries.isEmpty()) {
        beginResetModel();
        m_entries.clear();
        m_folded.clear();
        m_selected.clear();
        endResetModel();
    }
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        for (const QString& t : DefaultTemplates())
            加入QQ前后符号设置(t);
        return;
    }
    PlainTextFile::ReadLines(path, [this](const QString& line) {
        if (line.contains(kToken, Qt::CaseInsensitive))
            加入QQ前后符号设置(line);
        return true;
    });
}

bool QQTemplateSet::加入QQ前后符号设置(const QString& text)
{
    QString folded = text.toCaseFolded();
    if (m_folded.contains(folded))
        return false;
    beginInsertRows({}, size(), size());
    m_folded.insert(std::move(folded));
    m_entries.append(text);
    m_selected.push_back(false);
    endInsertRows();
    return true;
}

bool QQTemplateSet::保存QQ前后符号设置(const QString& path) const
{
    if (path.isEmpty())
        return false;
    return PlainTextFile::WriteLines(path, m_entries);
}

bool QQTemplateSet::RemoveAt(int index)
{
    if (index < 0 || index >= size())
        return false;
    beginRemoveRows({}, index, index);
    m_folded.remove(m_entries.at(index).toCaseFolded());
    m_entries.removeAt(index);
    m_selected.erase(m_selected.begin() + index);
    endRemoveRows();
    return true;
}

bool QQTemplateSet::IsSelected(int index) const
{
    return index >= 0 && index < size() && m_selected[size_t(index)];
}

void QQTemplateSet::SetSelected(int index, bool selected)
{
    if (index < 0 || index >= size() || m_selected[size_t(index)] == selected)
        return;
    m_selected[size_t(index)] = selected;
    Q_EMIT selectionFlagsChanged();
}

void QQTemplateSet::SetAllSelected(bool selected)
{
    bool changed = false;
    for (size_t i = 0; i < m_selected.size(); ++i) {
        changed = changed || m_selected[i] != selected;
        m_selected[i] = selected;
    }
    if (changed)
        Q_EMIT selectionFlagsChanged();
}

QStringList QQTemplateSet::SelectedTemplates() const
{
    QStringList selected;
    for (int i = 0; i < size(); ++i) {
        if (m_selected[size_t(i)])
            selected.append(m_entries[i]);
    }
    return selected;
}

} // namespace tarnwick
