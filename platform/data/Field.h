#pragma once

#include "platform/data/DateTime.h"
#include "platform/data/Variant.h"

#include <QString>

#include <functional>

namespace zel {

class TDataSet;

enum class TFieldType { ftString, ftFixedChar, ftDateTime, ftFloat, ftInteger };

// Provider flags: which fields take part in the server's update resolution.
enum TProviderFlag : unsigned { pfInUpdate = 1, pfInWhere = 2, pfInKey = 4, pfHidden = 8 };
using TProviderFlags = unsigned;
constexpr TProviderFlags kDefaultProviderFlags = pfInUpdate | pfInWhere;

// A persistent field of a dataset. Values are read from the dataset's active
// record (the current row, its edit buffer while it is edited, or the row a
// grid is drawing) and written to the edit buffer.
class TField {
public:
    using TFieldGetTextEvent = std::function<void(TField* sender, QString& text, bool displayText)>;

    TField(TDataSet* dataSet, const QString& fieldName, TFieldType type, int size = 0);
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    const QString& FieldName() const { return fieldName_; }
    TFieldType DataType() const { return type_; }
    int Size() const { return size_; } // of a text, in characters (CharacterCount)
    int Index() const { return index_; }

    // Component name, e.g. "cdsPedidoIDSITPEDIDO".
    const QString& Name() const { return name_; }
    void setName(const QString& n) { name_ = n; }

    QString DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
    void setDisplayLabel(const QString& l) { displayLabel_ = l; }
    bool Visible() const { return visible_; }
    void setVisible(bool v) { visible_ = v; }
    int DisplayWidth() const;
    void setDisplayWidth(int w) { displayWidth_ = w; }
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool r) { readOnly_ = r; }
    bool Required() const { return required_; }
    void setRequired(bool r) { required_ = r; }
    TProviderFlags ProviderFlags() const { return providerFlags_; }
    void setProviderFlags(TProviderFlags f) { providerFlags_ = f; }
    const QString& Origin() const { return origin_; }
    void setOrigin(const QString& o) { origin_ = o; }
    // Display and edit formats: "#,##0.00" style for numbers, Qt date
    // patterns for date-times. Empty = the user's locale default.
    const QString& DisplayFormat() const { return displayFormat_; }
    void setDisplayFormat(const QString& f) { displayFormat_ = f; }
    const QString& EditFormat() const { return editFormat_; }
    void setEditFormat(const QString& f) { editFormat_ = f; }

    TFieldGetTextEvent OnGetText;

    // Value access on the active record.
    bool IsNull() const;
    Variant Value() const;
    void setValue(const Variant& v);
    void Clear() { setValue(Variant()); }

    QString AsString() const;
    void setAsString(const QString& v);
    TDateTime AsDateTime() const;
    void setAsDateTime(const TDateTime& v);
    double AsFloat() const;
    void setAsFloat(double v);
    std::int64_t AsInteger() const;
    void setAsInteger(std::int64_t v);

    // The text shown in a grid cell or label (display = true) or put into an
    // editor (display = false); OnGetText decides when it is set.
    QString DisplayText() const { return GetText(true); }
    QString Text() const { return GetText(false); }
    QString GetText(bool displayText) const;

    // Formats a value the way this field shows it, without OnGetText.
    QString FormatValue(const Variant& v, bool displayText) const;

    // Brings a value to this field's kind, or raises EConvertError /
    // EDatabaseError (text longer than the field).
    Variant Coerce(const Variant& v) const;

private:
    friend class TDataSet;
    TDataSet* dataSet_;
    QString fieldName_;
    TFieldType type_;
    int size_;
    int index_ = -1;
    QString name_;
    QString displayLabel_;
    bool visible_ = true;
    int displayWidth_ = 0;
    bool readOnly_ = false;
    bool required_ = false;
    TProviderFlags providerFlags_ = kDefaultProviderFlags;
    QString origin_;
    QString displayFormat_;
    QString editFormat_;
};

// A text field's size counts characters as the operator sees them, one per
// code point (a character outside the basic plane is one, not two), wherever
// a text meets a size: a loaded packet, a written value, a control's limit.
int CharacterCount(const QString& text);
// The first `count` characters of a text, never half of one.
QString LeftCharacters(const QString& text, int count);

// Formats a number with a "#,##0.00" style pattern and the locale's separators.
QString FormatFloat(const QString& format, double value, const QLocale& locale = QLocale());

} // namespace zel
