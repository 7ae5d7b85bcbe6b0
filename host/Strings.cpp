#include "host/Strings.h"

namespace zel {

bool EmptyString(const QString& text)
{
    for (QChar c : text)
        if (!c.isSpace()) return false;
    return true;
}

QString Ajusta(const QString& text, int length)
{
    QString code = text.trimmed();
    if (code.isEmpty() || length <= 0) return code;
    int excess = int(code.size()) - length;
    int zeros = 0;
    while (zeros < excess && code.at(zeros) == QLatin1Char('0'))
        ++zeros;
    code.remove(0, zeros);
    if (code.size() >= length) return code;
    return code.rightJustified(length, QLatin1Char('0'));
}

QString DateHint(const QLocale& locale)
{
    // The letters for day, month and year in the languages the system is
    // used in; any other language gets the English ones.
    struct Letters {
        QLocale::Language language;
        QChar day, month, year;
    };
    static const Letters table[] = {
        {QLocale::Portuguese, u'd', u'm', u'a'}, {QLocale::Spanish, u'd', u'm', u'a'},
        {QLocale::French, u'j', u'm', u'a'},     {QLocale::Italian, u'g', u'm', u'a'},
        {QLocale::German, u'T', u'M', u'J'},
    };
    Letters letters{QLocale::English, u'd', u'm', u'y'};
    for (const Letters& l : table)
        if (l.language == locale.language()) letters = l;
    QString hint;
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run) == c)
            ++run;
        if (c == u'd' && run <= 2)
            hint += QString(2, letters.day);
        else if (c == u'M' && run <= 2)
            hint += QString(2, letters.month);
        else if (c == u'y')
            hint += QString(4, letters.year); // the year is typed with its century
        else
            hint += format.mid(i, run);
        i += run;
    }
    return hint;
}

} // namespace zel
