#pragma once

#include "clickablelabel.h"

// A completion mark: shows one of the two shared pictures and carries the completion flag as its
// tag, the text "True" or "False". Which picture it shows is told by the picture's identity.
class MarkImage : public ClickableLabel
{
    Q_OBJECT

public:
    explicit MarkImage(QWidget *parent = nullptr) : ClickableLabel(parent) { setCursor(Qt::PointingHandCursor); }

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    // True when the mark shows that very picture object, not merely an equal one.
    bool shows(const QPixmap &picture) const { return pixmap().cacheKey() == picture.cacheKey(); }

private:
    QString m_tag = QStringLiteral("False");
};
