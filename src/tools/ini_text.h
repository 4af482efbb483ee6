#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Kiln.ini holds bytes: UTF-8, or a Windows code page where a language needs one. The
// dialogs show such bytes as text and, when the user leaves a text as it was, write the
// original bytes back, so that saving never damages a value the user did not touch.
namespace kiln::tools {

inline QString ShownText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8.decode(bytes);
  return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

inline QByteArray StoredBytes(const QString& shown, const QByteArray& original) {
  return shown == ShownText(original) ? original : shown.toUtf8();
}

}  // namespace kiln::tools
