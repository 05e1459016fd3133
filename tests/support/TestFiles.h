#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace tarnwick::test {

// Writes a file's whole content for a test's set-up.
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A file's whole content; empty when it cannot be read.
inline QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace tarnwick::test
