#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QFile>
#include <QString>

// Whole-file helpers shared by the tests. A file that cannot be read gives
// "<unreadable>", which no expected content equals.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

#endif // TESTFILES_H
