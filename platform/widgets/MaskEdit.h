#pragma once

#include "platform/widgets/Controls.h"

#include <QLineEdit>

#include <vector>

namespace zel {

// A one-line edit with an edit mask in the classic mask language:
// "mask;save literals;blank". In the mask, '>' turns the letters after it to
// upper case, '<' to lower case, "<>" stops the conversion; 'A'/'a' a letter
// or digit (required/optional), 'L'/'l' a letter, '0'/'9' a digit, 'C'/'c'
// any character, '#' a digit or sign; '\' makes the next character a
// literal; any other character is a literal. With save literals 0 the text
// keeps no literals; an empty position shows the blank character. Without a
// mask it is a plain edit limited to MaxLength.
//
// OnChange runs at every change of the text, typed or set by the program
// (setText runs it directly, so its failure reaches the caller).
class TMaskEdit : public QLineEdit {
public:
    explicit TMaskEdit(QWidget* parent = nullptr, const QString& name = {});

    const QString& EditMask() const { return editMask_; }
    void setEditMask(const QString& mask);

    // The text without literals (unless the mask saves them) and without
    // trailing blank positions.
    QString Text() const;
    void setText(const QString& t);
    void Clear() { setText(QString()); }
    int MaxLength() const { return maxLength_; }
    void setMaxLength(int n);

    TNotifyEvent OnChange;

protected:
    void focusInEvent(QFocusEvent* e) override;

private:
    struct Position {
        bool literal;
        QChar ch; // the literal
    };
    QString editMask_;
    std::vector<Position> positions_;
    bool saveLiterals_ = true;
    QChar blank_ = QLatin1Char(' ');
    int maxLength_ = 0;
    bool programmatic_ = false;
};

} // namespace zel
