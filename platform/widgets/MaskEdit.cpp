#include "platform/widgets/MaskEdit.h"

#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"

#include <QFocusEvent>

namespace zel {

namespace {

bool isQtMaskChar(QChar c)
{
    static const QString meta = QStringLiteral("AaNnXx9D0d#HhBb><!\\[]{}");
    return meta.contains(c);
}

} // namespace

TMaskEdit::TMaskEdit(QWidget* parent, const QString& name) : QLineEdit(parent)
{
    setObjectName(name);
    MarkControl(this);
    InstallFocusTracker();
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!programmatic_ && OnChange) Guarded([this] { OnChange(this); });
    });
}

void TMaskEdit::setEditMask(const QString& mask)
{
    editMask_ = mask;
    positions_.clear();
    // "mask;save;blank": the last two sections are optional.
    QString body = mask;
    saveLiterals_ = true;
    blank_ = QLatin1Char('_');
    const int s2 = mask.lastIndexOf(QLatin1Char(';'));
    const int s1 = s2 > 0 ? mask.lastIndexOf(QLatin1Char(';'), s2 - 1) : -1;
    if (s1 >= 0 && s2 == s1 + 2 && (s2 + 1 < mask.size())) {
        body = mask.left(s1);
        saveLiterals_ = mask.at(s1 + 1) != QLatin1Char('0');
        blank_ = mask.at(s2 + 1);
    } else if (s2 >= 0 && s2 + 2 == mask.size() &&
               (mask.at(s2 + 1) == QLatin1Char('0') || mask.at(s2 + 1) == QLatin1Char('1'))) {
        body = mask.left(s2);
        saveLiterals_ = mask.at(s2 + 1) != QLatin1Char('0');
    }

    QString qt;
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        auto literal = [&](QChar l) {
            positions_.push_back({true, l});
            if (isQtMaskChar(l)) qt += QLatin1Char('\\');
            qt += l;
        };
        auto slot = [&](char q) {
            positions_.push_back({false, QChar()});
            qt += QLatin1Char(q);
        };
        switch (c.unicode()) {
        case '>':
            qt += QLatin1Char('>');
            break;
        case '<':
            if (i + 1 < body.size() && body.at(i + 1) == QLatin1Char('>')) {
                qt += QLatin1Char('!');
                ++i;
            } else {
                qt += QLatin1Char('<');
            }
            break;
        case '!': // leading blanks: no effect on what is typed
            break;
        case '\\':
            if (i + 1 < body.size()) literal(body.at(++i));
            break;
        case 'L':
            slot('A');
            break;
        case 'l':
            slot('a');
            break;
        case 'A':
            slot('N');
            break;
        case 'a':
            slot('n');
            break;
        case 'C':
            slot('X');
            break;
        case 'c':
            slot('x');
            break;
        case '0':
            slot('9');
            break;
        case '9':
            slot('0');
            break;
        case '#':
            slot('#');
            break;
        case '_':
            literal(QLatin1Char(' '));
            break;
        default:
            literal(c);
            break;
        }
    }
    programmatic_ = true;
    setInputMask(body.isEmpty() ? QString() : qt + QLatin1Char(';') + blank_);
    programmatic_ = false;
    if (body.isEmpty()) setMaxLength(maxLength_);
}

QString TMaskEdit::Text() const
{
    if (positions_.empty()) return text();
    const QString shown = displayText();
    QString out;
    for (size_t i = 0; i < positions_.size() && int(i) < shown.size(); ++i) {
        if (positions_[i].literal) {
            if (saveLiterals_) out += shown.at(int(i));
            continue;
        }
        out += shown.at(int(i)) == blank_ ? QLatin1Char(' ') : shown.at(int(i));
    }
    while (!out.isEmpty() && out.back() == QLatin1Char(' '))
        out.chop(1);
    return out;
}

void TMaskEdit::setText(const QString& t)
{
    const QString before = Text();
    programmatic_ = true;
    QLineEdit::setText(t);
    if (!positions_.empty()) setCursorPosition(int(Text().size()));
    programmatic_ = false;
    if (Text() != before && OnChange) OnChange(this);
}

void TMaskEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    // An empty masked edit is typed into from its first position.
    if (!positions_.empty() && Text().isEmpty() && e->reason() != Qt::MouseFocusReason) setCursorPosition(0);
}

void TMaskEdit::setMaxLength(int n)
{
    maxLength_ = n;
    if (positions_.empty()) QLineEdit::setMaxLength(n > 0 ? n : 32767);
}

} // namespace zel
