#include "dayfilegen.h"

#include "dayrecord.h"
#include "gbk.h"
#include "oledate.h"

#include <QSaveFile>
#include <QStringList>
#include <array>
#include <random>
#include <vector>

namespace dayfilegen {

namespace {

const std::array ChineseWords = {
    u"买菜", u"开会", u"写周报", u"跑步", u"给妈妈打电话", u"交水电费", u"复习英语", u"取快递", u"看牙医",
    u"整理房间", u"读书三十页", u"修自行车", u"准备演讲稿", u"还图书馆的书", u"订火车票", u"洗衣服",
    u"和老王吃饭", u"练毛笔字", u"检查邮件", u"写日记", u"去银行", u"做晚饭", u"浇花", u"学习新单词",
    u"项目评审", u"备份照片", u"买生日礼物", u"预约体检", u"打扫厨房", u"给猫买猫粮", u"，", u"。", u"、",
};
const std::array AsciiWords = {
    u"Call Tom", u"gym", u"review PR #42", u"email Alice", u"pay rent", u"fix bug", u"buy milk",
    u"meeting 10:30", u"read", u"Qt 6 port", u"backup", u"dentist", u"TODO", u"plan trip", u"CET-6",
    u" ", u", ", u"!", u"2x", u"ok",
};

// std::uniform_int_distribution differs between standard libraries; this does not.
class Draw
{
public:
    explicit Draw(quint64 seed) : m_engine(seed) {}
    quint64 below(quint64 n) { return m_engine() % n; }
    bool percent(int p) { return below(100) < quint64(p); }

private:
    std::mt19937_64 m_engine;
};

template<size_t N>
QString words(Draw &draw, const std::array<const char16_t *, N> &pool, qsizetype length)
{
    QString text;
    while (text.size() < length)
        text += QStringView(pool[draw.below(N)]);
    text.truncate(length);
    return text;
}

QString thingText(Draw &draw)
{
    if (draw.percent(15))
        return QString();
    const auto length = qsizetype(2 + draw.below(29));
    const auto kind = draw.below(100);
    if (kind < 55)
        return words(draw, ChineseWords, length);
    if (kind < 80)
        return words(draw, AsciiWords, length);
    // Mixed: a Chinese phrase with some ASCII in front of it, as in "给Tom打电话".
    const qsizetype ascii = qsizetype(1 + draw.below(quint64(length)));
    return words(draw, AsciiWords, ascii) + words(draw, ChineseWords, length - ascii);
}

} // namespace

double firstDay(qint64 records, QDate lastDay)
{
    const qint64 days = (records + 4) / 5;
    return oledate::fromDate(lastDay) - double(days - 1);
}

Result writeDayFile(const QString &path, qint64 records, quint64 seed, QDate lastDay)
{
    Result result;
    if (records < 0) {
        result.error = QStringLiteral("a negative number of records");
        return result;
    }
    const double first = firstDay(records, lastDay);
    if (records > 0 && (!oledate::toDate(first) || !oledate::inRange(lastDay))) {
        result.error = QStringLiteral("%1 records ending on %2 start before the first OLE date")
                           .arg(records).arg(lastDay.toString(Qt::ISODate));
        return result;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }

    Draw draw(seed);
    constexpr qsizetype SlotsPerWrite = 8192;
    std::vector<char> buffer;
    buffer.reserve(size_t(SlotsPerWrite * recordimage::SlotLength));
    auto flush = [&] {
        const bool ok = file.write(buffer.data(), qint64(buffer.size())) == qint64(buffer.size());
        buffer.clear();
        return ok;
    };

    for (qint64 k = 0; k < records; ++k) {
        DayRecord r;
        r.ThingNo = qint32(k % 5 + 1);
        r.ThingDate = first + double(k / 5);
        // Every piece of text is GBK, so encoding cannot fail.
        r.ThingText = *gbk::encode(thingText(draw));
        r.Done = draw.percent(40) ? qint16(-1) : qint16(0);

        const size_t at = buffer.size();
        buffer.resize(at + size_t(recordimage::SlotLength));
        recordimage::encode(r, std::span<char, recordimage::SlotLength>(buffer.data() + at, recordimage::SlotLength));
        if (buffer.size() == buffer.capacity() && !flush())
            break;
    }
    if (!buffer.empty())
        flush();
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    result.records = records;
    return result;
}

Result writeDayFile(const QString &path, qint64 records, quint64 seed)
{
    return writeDayFile(path, records, seed, QDate::currentDate());
}

} // namespace dayfilegen
