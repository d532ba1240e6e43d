#pragma once

#include <QRegularExpression>
#include <QStringList>

// The English words in a window message once what is data is taken out: addresses, host names,
// file paths, code points and numbers. The encoding's name is a name, not a word.
inline QStringList englishWords(QString text)
{
    static const QRegularExpression data(QStringLiteral(
        R"([A-Za-z][A-Za-z0-9+.-]*://[!-~]*|/[!-~]*|U\+[0-9A-Fa-f]{4,6}|[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+|GBK)"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z]+"));
    text.replace(data, QStringLiteral(" "));
    QStringList words;
    for (auto it = word.globalMatch(text); it.hasNext();)
        words << it.next().captured();
    return words;
}
