#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <string>

// Kiln.ini holds bytes: UTF-8, or a Windows code page where a language needs one. The
// dialogs show such bytes as text and, when the user leaves a text as it was, write the
// original bytes back, so that saving never damages a value the user did not touch.
namespace kiln::tools {

inline QString ShownText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8.decode(bytes);
  return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// A text becomes one line of Kiln.ini: each line break (CR, LF or CR LF), tab or zero
// character the user typed or pasted becomes a single space.
inline QString OneLine(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  for (const QChar breaking : {QChar(u'\r'), QChar(u'\n'), QChar(u'\t'), QChar(u'\0')}) {
    text.replace(breaking, QLatin1Char(' '));
  }
  return text;
}

inline QByteArray StoredBytes(const QString& shown, const QByteArray& original) {
  return shown == ShownText(original) ? original : OneLine(shown).toUtf8();
}

inline std::string StoredBytes(const QString& shown, const std::string& original) {
  return StoredBytes(shown, QByteArray::fromStdString(original)).toStdString();
}

}  // namespace kiln::tools
