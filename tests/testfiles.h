#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtTest>

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

// One data row per DBC file of the real-world corpus beside the repository,
// in a column "path"; skips the test, saying why, where the corpus is absent.
inline void addCorpusRows()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(QUARVEL_CORPUS_DIR));
    const QStringList files =
        corpus.entryList(QStringList{"*.dbc"}, QDir::Files | QDir::Readable, QDir::Name);
    if (files.isEmpty())
        QSKIP(qPrintable("no .dbc file in the corpus folder " + corpus.path()));
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << corpus.filePath(file);
}

#endif // TESTFILES_H
