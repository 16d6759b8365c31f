// SPDX-License-Identifier: MIT
#ifndef QTCOMPAT_H
#define QTCOMPAT_H

#include <QByteArray>
#include <QString>
#include <QTextStream>
#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringDecoder>
#else
#include <QTextCodec>
#endif

// Where Qt 6 changed a default that the engine's behaviour rests on, the
// Qt 5.15 behaviour is kept here, so that both builds read the same.
//
// A DBC file is decoded as a text stream on it decodes by default in Qt 5: a
// byte-order mark at its start selects UTF-8, UTF-16 or UTF-32 (and is
// dropped), and a file without one is the system's local 8-bit encoding (the
// ANSI code page on Windows). Qt 6's stream would take such a file as UTF-8.
namespace QtCompat
{

// Decodes a DBC file piece by piece, in the order the pieces are read; the
// first piece decides the encoding. A sequence cut off at the end of the file
// gives no character, as in a text stream.
class DbcDecoder
{
public:
    void appendTo(QString *text, const char *bytes, int size)
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        const QByteArrayView piece(bytes, size);
        if (!decoder.isValid())
            decoder = QStringDecoder(
                QStringConverter::encodingForData(piece).value_or(QStringConverter::System));
        text->append(decoder.decode(piece));
#else
        if (codec == nullptr)
            codec = QTextCodec::codecForUtfText(QByteArray::fromRawData(bytes, size),
                                                QTextCodec::codecForLocale());
        text->append(codec->toUnicode(bytes, size, &state));
#endif
    }

private:
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    QStringDecoder decoder;
#else
    QTextCodec *codec = nullptr;
    QTextCodec::ConverterState state;
#endif
};

// Makes a text stream decode as DbcDecoder does.
inline void decodeLocal8BitUnlessMarked(QTextStream &stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::System);
#endif
    stream.setAutoDetectUnicode(true);
}

} // namespace QtCompat

#endif // QTCOMPAT_H
