#include "syncsettingsdialog.h"

#include "fonts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SyncSettingsDialog::SyncSettingsDialog(const QUrl &url, const QString &user, int sinceDays, bool keepsPasswords,
                                       QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlg_syncsettings"));
    setWindowTitle(QStringLiteral("同步设置"));
    setFont(fonts::windowDefault());

    auto *intro = new QLabel(QStringLiteral("与 CalDAV 日历服务器（Radicale、Nextcloud 等）同步：每件有内容或已完成的事是"
                                            "服务器上的一个待办。地址可以是日历本身，也可以是服务器。"),
                             this);
    intro->setWordWrap(true);

    txt_url = new QLineEdit(url.toString(), this);
    txt_url->setObjectName(QStringLiteral("txt_url"));
    txt_url->setPlaceholderText(QStringLiteral("https://…/remote.php/dav/"));
    txt_user = new QLineEdit(user, this);
    txt_user->setObjectName(QStringLiteral("txt_user"));
    txt_password = new QLineEdit(this);
    txt_password->setObjectName(QStringLiteral("txt_password"));
    txt_password->setEchoMode(QLineEdit::Password);
    if (!url.isEmpty())
        txt_password->setPlaceholderText(keepsPasswords ? QStringLiteral("留空则用已保存的密码") : QStringLiteral("留空则不改密码"));

    cbo_range = new QComboBox(this);
    cbo_range->setObjectName(QStringLiteral("cbo_range"));
    const std::pair<const char *, int> ranges[] = {
        {"最近三个月及以后", 90}, {"最近一年及以后", 365}, {"最近三年及以后", 3 * 365}, {"全部日子", -1}};
    for (const auto &[words, days] : ranges)
        cbo_range->addItem(QString::fromUtf8(words), days);
    if (cbo_range->findData(sinceDays) < 0) // a range given to the tool
        cbo_range->addItem(QStringLiteral("最近 %1 天及以后").arg(sinceDays), sinceDays);
    cbo_range->setCurrentIndex(cbo_range->findData(sinceDays));
    auto *rangeHint = new QLabel(QStringLiteral("范围以前的日子两边都保持原样，不会被删除；以后放宽范围时会补上，不会重复。"),
                                 this);
    rangeHint->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("服务器地址："), txt_url);
    form->addRow(QStringLiteral("用户名："), txt_user);
    form->addRow(QStringLiteral("密码："), txt_password);
    form->addRow(QStringLiteral("同步范围："), cbo_range);
    form->addRow(QString(), rangeHint);

    auto *hint = new QLabel(keepsPasswords ? QStringLiteral("地址留空即停止同步。密码保存在系统的钥匙串中，不写入任何文件。")
                                           : QStringLiteral("地址留空即停止同步。这台电脑上没有可用的钥匙串：密码只保留到程序关闭，"
                                                            "下次启动时会再问；不写入任何文件。"),
                            this);
    hint->setObjectName(QStringLiteral("lbl_passwordhint"));
    hint->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
    const auto check = [this, ok] {
        // A server needs a name; no address (no sync) needs nothing.
        ok->setEnabled(txt_url->text().trimmed().isEmpty() || (this->url().isValid() && !this->user().isEmpty()));
    };
    connect(txt_url, &QLineEdit::textChanged, this, check);
    connect(txt_user, &QLineEdit::textChanged, this, check);
    check();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addWidget(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);
}

QUrl SyncSettingsDialog::url() const
{
    const QString text = txt_url->text().trimmed();
    return text.isEmpty() ? QUrl() : QUrl(text, QUrl::StrictMode);
}

QString SyncSettingsDialog::user() const
{
    return txt_user->text().trimmed();
}

int SyncSettingsDialog::sinceDays() const
{
    return cbo_range->currentData().toInt();
}

QString SyncSettingsDialog::password() const
{
    return txt_password->text();
}
