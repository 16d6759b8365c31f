// SPDX-License-Identifier: MIT
#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <quarvel/cdbc.h>

#include <QtTest>

// Helpers shared by the tests. A file that cannot be read gives "<unreadable>",
// which no expected content equals.
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

inline QString testData(const char *name)
{
    return QStringLiteral(QUARVEL_TEST_DATA "/") + QLatin1String(name);
}

// A DBC file of `count` messages M0, M1, ... with identifiers 1 + i, one
// signal and a cycle-time line each; `records` gets how the reader describes them.
inline QByteArray manyMessages(int count, QString *records = nullptr)
{
    QByteArray text = "VERSION \"\"\n", attributes;
    QStringList described;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i), id = QByteArray::number(i + 1);
        text += "\nBO_ " + id + " M" + n + ": 8 ECU\n SG_ S" + n + " : " +
                QByteArray::number(i % 64) + "|1@1+ (1,0) [0|1] \"\" ECU\n";
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + id + " " + n + ";\n";
        described << QString::asprintf("M%d %d 8 %d: S%d %d|1 (1,0) [0|1]", i, i + 1, i, i, i % 64);
    }
    if (records)
        *records = described.join("; ");
    return text + "\n" + attributes;
}

// Records the notes the engine shows while it lives, as "TITLE: text", and
// the details of each.
struct NoteRecorder {
    QStringList notes;
    QStringList details;
    CDBC::Notifier previous =
        CDBC::setNotifier([this](const QString &title, const QString &text, const QString &more) {
            notes << title + ": " + text;
            details << more;
        });
    ~NoteRecorder() { CDBC::setNotifier(previous); }
};

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

#endif // TESTSUPPORT_H
