#ifndef QTCOMPAT_H
#define QTCOMPAT_H

#include <QTextStream>
#include <QtGlobal>

// Where Qt 6 changed a default that the engine's behaviour rests on, the
// Qt 5.15 behaviour is kept here, so that both builds read the same.
namespace QtCompat
{

// A DBC file is decoded as a text stream on it decodes by default in Qt 5: a
// byte-order mark selects UTF-8, UTF-16 or UTF-32, and a file without one is
// the system's local 8-bit encoding (the ANSI code page on Windows). Qt 6's
// stream would take such a file as UTF-8.
inline void decodeLocal8BitUnlessMarked(QTextStream &stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::System);
#endif
    stream.setAutoDetectUnicode(true);
}

} // namespace QtCompat

#endif // QTCOMPAT_H
