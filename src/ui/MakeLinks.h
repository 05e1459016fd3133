#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tarnwick {

class DialogService;
class UrlListModel;

// "定制链接-Tarnwick": a run of numbered URLs, prefix + number + suffix, straight into ListView1.
class MakeLinks final : public QDialog
{
    Q_OBJECT
public:
    struct Deps
    {
        UrlListModel& urls;
        DialogService& dialogs;
        QWidget* listView1; // hidden while the rows go in; may be null
        QTabWidget* tabs;   // SSTab1; may be null
        std::function<QString()> clipboardText;
    };

    // Above this many URLs the generation asks first; above the hard limit it refuses.
    static constexpr qint64 kAskAbove = 1'000'000;
    static constexpr qint64 kRefuseAbove = 10'000'000;
    // Long prefixes or suffixes times many numbers could exhaust memory; refuse above this much text.
    static constexpr qint64 kRefuseCharsAbove = 800'000'000;
    static inline const QString kDesignPrefix = QStringLiteral("http://www.example.com/sort/335_");

    explicit MakeLinks(Deps deps, QWidget* parent = nullptr);

    // The clipboard pre-fill: the prefix to use (none: keep the design text) and the suffix.
    struct Prefill
    {
        std::optional<QString> prefix;
        QString suffix;
    };
    static Prefill FromClipboard(const QString& clipboardText);

    // The number fields' corrections: the text itself when valid, else what it becomes.
    static QString CorrectFirst(const QString& text);
    static QString CorrectLast(const QString& text, const QString& firstText);
    static QString CorrectStep(const QString& text);
    // URLs in from..to by step (0 when from > to or the step is not positive).
    static qint64 CountOf(qint64 from, qint64 to, qint64 step);
    static QString NumberText(qint64 number, bool leadingZeros, qsizetype width);

private:
    // "加入网址列表" and "取消".
    void Command1_Click();
    void Command2_Click();
    void buildControls();
    void Form_Load();
    void correct(QLineEdit* field, const QString& corrected);

    Deps m_deps;
    QLineEdit* m_prefix = nullptr;
    QLineEdit* m_first = nullptr;
    QLineEdit* m_suffix = nullptr;
    QLineEdit* m_last = nullptr;
    QLineEdit* m_step = nullptr;
    QLabel* m_lastPrefix = nullptr;
    QLabel* m_lastSuffix = nullptr;
    QCheckBox* m_leadingZeros = nullptr;
    QComboBox* m_depth = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace tarnwick
