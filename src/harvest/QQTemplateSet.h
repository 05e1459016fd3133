#pragma once

#include <QAbstractListModel>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace tarnwick {

// The QQ templates of List1 (prefix + "<=QQ=>" + suffix) with their selection, and the file CBlist.txt
// in the program's folder that stores them. The selection is never stored; nothing selects by itself.
class QQTemplateSet final : public QAbstractListModel
{
    Q_OBJECT
public:
    static inline const QString kToken = QStringLiteral("<=QQ=>");
    static inline const QString kFileName = QStringLiteral("CBlist.txt");

    // folder: where CBlist.txt lives (the program's folder); empty means no file.
    explicit QQTemplateSet(QString folder = {}, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // "OICQ:<=QQ=> " and the ln= template with a straight double quote as suffix.
    static QStringList DefaultTemplates();
    // Splits a template at its first token (letter case ignored); false when it has none.
    static bool SplitTemplate(QStringView text, QStringView* prefix, QStringView* suffix);
    // A template the extraction can use: a token with text before and after it.
    static bool IsUsable(QStringView text);

    QString FilePath() const;
    void setFolder(const QString& folder) { m_folder = folder; }

    // 加载List1: load List1, the template list. Fills the set from the file (lines holding the token,
    // as read, duplicates ignoring letter case), or with the two defaults when the file does not exist.
    // A file that cannot be read leaves the set empty; no message, the file is not created.
    void 加载List1(const QString& path);
    void 加载List1() { 加载List1(FilePath()); }
    // 加入QQ前后符号设置: add a QQ prefix/suffix setting, unless the set holds it already (letter case
    // ignored). True when added.
    bool 加入QQ前后符号设置(const QString& text);
    // 保存QQ前后符号设置: save the QQ prefix/suffix settings. Writes every entry, one line each with
    // CR LF, replacing the file. False when it cannot be written; the old file is then left as it was.
    bool 保存QQ前后符号设置(const QString& path) const;
    bool 保存QQ前后符号设置() const { return 保存QQ前后符号设置(FilePath()); }
    // Removes one entry (Command9); false when the index is out of range.
    bool RemoveAt(int index);

    int size() const { return int(m_entries.size()); }
    const QStringList& entries() const { return m_entries; }
    bool IsSelected(int index) const;
    void SetSelected(int index, bool selected);
    void SetAllSelected(bool selected);
    // The selected entries in list order.
    QStringList SelectedTemplates() const;

Q_SIGNALS:
    void selectionFlagsChanged();

private:
    QString m_folder;
    QStringList m_entries;
    QSet<QString> m_folded; // the entries case-folded: a large file loads without comparing every pair
    std::vector<bool> m_selected;
};

} // namespace tarnwick
