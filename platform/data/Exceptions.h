#pragma once

#include <QString>

#include <exception>
#include <string>

namespace zel {

// Base of every failure the platform raises on purpose. The message is meant
// for the user (Portuguese) and is what the host's guard shows.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// The silent failure: ends the running handler and is never shown.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operação abortada")) {}
};

// A dataset or field operation that is not allowed in the current state, or
// data that does not fit a field.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A value that cannot be converted to the kind asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

[[noreturn]] void Abort();
[[noreturn]] void DatabaseError(const QString& message);

} // namespace zel
