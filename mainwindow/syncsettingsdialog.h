#pragma once

#include <QDialog>
#include <QUrl>

class QComboBox;
class QLineEdit;

// "同步设置": the calendar server's address, the name on it, the password, and how far back the
// sync reaches (what lies before is left alone on both sides). An empty address
// turns the sync off; an empty password keeps the one in the keychain, or this session's. Where no
// keychain runs (keepsPasswords false) it says the password is kept only until the program closes.
class SyncSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    SyncSettingsDialog(const QUrl &url, const QString &user, int sinceDays, bool keepsPasswords,
                       QWidget *parent = nullptr);

    QUrl url() const;
    QString user() const;
    QString password() const;
    int sinceDays() const; // -1: every day

private:
    QLineEdit *txt_url = nullptr;
    QLineEdit *txt_user = nullptr;
    QLineEdit *txt_password = nullptr;
    QComboBox *cbo_range = nullptr;
};
