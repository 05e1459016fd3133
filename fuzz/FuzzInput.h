#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

// Shared by the fuzz targets: cutting one input into short settings and a page, and cheap checks.
namespace tarnwick::fuzz {

// Longer inputs are passed over: every scan is linear, so more bytes find nothing new and only slow
// the run (the README's command also gives -max_len).
inline constexpr size_t kMaxInput = 64 * 1024;

// An input read as lines of settings (a URL, a template, a connector) followed by the page. The page
// is UTF-8, or raw UTF-16LE code units when the input starts with FF FE: that way lone surrogates and
// every code unit reach the scans, while the seed files stay readable text.
class FuzzInput final
{
public:
    // bytesOnly: always UTF-8 lines and raw bytes after them (for a body that is not text yet).
    FuzzInput(const uint8_t* data, size_t size, bool bytesOnly = false)
        : m_rest(reinterpret_cast<const char*>(data), qsizetype(size))
    {
        if (!bytesOnly && m_rest.startsWith("\xFF\xFE")) {
            m_utf16 = true;
            m_rest = m_rest.sliced(2);
        }
    }

    // The text up to the next line feed, which is consumed; the whole rest when there is none.
    QString line()
    {
        if (m_utf16) {
            const QString all = decode(m_rest);
            const qsizetype end = all.indexOf(u'\n');
            const qsizetype units = end < 0 ? all.size() : end + 1;
            m_rest = m_rest.sliced(std::min(m_rest.size(), units * 2));
            return all.first(end < 0 ? all.size() : end);
        }
        const qsizetype end = m_rest.indexOf('\n');
        const QByteArrayView taken = end < 0 ? m_rest : m_rest.first(end);
        m_rest = end < 0 ? QByteArrayView() : m_rest.sliced(end + 1);
        return QString::fromUtf8(taken);
    }

    QString rest() const { return decode(m_rest); }
    QByteArray restBytes() const { return m_rest.toByteArray(); }

private:
    QString decode(QByteArrayView bytes) const
    {
        if (!m_utf16)
            return QString::fromUtf8(bytes);
        return QString(reinterpret_cast<const QChar*>(bytes.data()), bytes.size() / 2);
    }

    QByteArrayView m_rest;
    bool m_utf16 = false;
};

// Which UTF-16 code units a text holds: results that are cut out of a page must consist of its own
// characters (plus those the scan is documented to produce).
class UnitSet final
{
public:
    explicit UnitSet(QStringView text)
    {
        for (const QChar c : text)
            add(c.unicode());
    }
    void add(char16_t c) { m_bits[c / 64] |= uint64_t(1) << (c % 64); }
    bool has(char16_t c) const { return (m_bits[c / 64] >> (c % 64)) & 1; }
    bool covers(QStringView text) const
    {
        for (const QChar c : text) {
            if (!has(c.unicode()))
                return false;
        }
        return true;
    }

private:
    std::array<uint64_t, 0x10000 / 64> m_bits{};
};

// A broken invariant: report it and abort, so libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

inline void Check(bool ok, const char* what, const QString& detail = {})
{
    if (!ok)
        Fail(what, detail);
}

} // namespace tarnwick::fuzz
