#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Things are stored in the GBK code page (Windows code page 936), as day files have always been.
// A character without a GBK form is never replaced by something else: encoding reports it instead.
namespace gbk {

// The GBK bytes of text, or nothing when some character has no GBK form.
std::optional<QByteArray> encode(QStringView text);

// Whether every character of text has a GBK form.
bool canEncode(QStringView text);

// Bytes that are not valid GBK decode to U+FFFD.
QString decode(QByteArrayView bytes);

// The longest prefix of GBK bytes that fits maxBytes without splitting a double-byte character.
QByteArrayView fit(QByteArrayView bytes, qsizetype maxBytes);

} // namespace gbk
