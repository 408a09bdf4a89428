#include "qkarnjsontrait.h"

#include "stringconversion.h"

#include <cstring>

namespace {

// Dates, times and 64-bit integers travel as text.
void writeText(Json::Value& target, const QString& text)
{
    QkarnJsonTrait<QString>::toJson(target, text);
}

QString readText(const Json::Value& source)
{
    QString text;
    QkarnJsonTrait<QString>::fromJson(source, text);
    return text;
}

} // namespace

void QkarnJsonTrait<unsigned int>::toJson(Json::Value& target, const unsigned int& value)
{
    target = Json::Value(value);
}

void QkarnJsonTrait<unsigned int>::fromJson(const Json::Value& source, unsigned int& value)
{
    value = source.asUInt();
}

void QkarnJsonTrait<int>::toJson(Json::Value& target, const int& value)
{
    target = Json::Value(value);
}

void QkarnJsonTrait<int>::fromJson(const Json::Value& source, int& value)
{
    value = source.asInt();
}

void QkarnJsonTrait<bool>::toJson(Json::Value& target, const bool& value)
{
    target = Json::Value(value);
}

void QkarnJsonTrait<bool>::fromJson(const Json::Value& source, bool& value)
{
    // Strings, arrays and objects are not convertible and read as false instead of throwing.
    value = source.isConvertibleTo(Json::booleanValue) && source.asBool();
}

void QkarnJsonTrait<QString>::toJson(Json::Value& target, const QString& value)
{
    target = Json::Value(StringConversion::toStdString(value));
}

void QkarnJsonTrait<QString>::fromJson(const Json::Value& source, QString& value)
{
    value = source.isString() ? StringConversion::fromStdString(source.asString()) : QString();
}

void QkarnJsonTrait<QByteArray>::toJson(Json::Value& target, const QByteArray& value)
{
    target = Json::Value(std::string(value.constData(), std::strlen(value.constData())));
}

void QkarnJsonTrait<QByteArray>::fromJson(const Json::Value& source, QByteArray& value)
{
    value = source.isString() ? QByteArray(source.asCString()) : QByteArray();
}

void QkarnJsonTrait<QDate>::toJson(Json::Value& target, const QDate& value)
{
    writeText(target, value.toString(Qt::ISODate));
}

void QkarnJsonTrait<QDate>::fromJson(const Json::Value& source, QDate& value)
{
    value = QDate::fromString(readText(source), Qt::ISODate);
}

void QkarnJsonTrait<QTime>::toJson(Json::Value& target, const QTime& value)
{
    writeText(target, value.toString(Qt::ISODate));
}

void QkarnJsonTrait<QTime>::fromJson(const Json::Value& source, QTime& value)
{
    value = QTime::fromString(readText(source), Qt::ISODate);
}

void QkarnJsonTrait<QDateTime>::toJson(Json::Value& target, const QDateTime& value)
{
    writeText(target, value.toString(Qt::ISODate));
}

void QkarnJsonTrait<QDateTime>::fromJson(const Json::Value& source, QDateTime& value)
{
    value = QDateTime::fromString(readText(source), Qt::ISODate);
}

void QkarnJsonTrait<long long>::toJson(Json::Value& target, const long long& value)
{
    writeText(target, QString::number(value));
}

void QkarnJsonTrait<long long>::fromJson(const Json::Value& source, long long& value)
{
    value = readText(source).toLongLong(nullptr, 10); // 0 when the text does not convert
}

void QkarnJsonTrait<unsigned long long>::toJson(Json::Value& target, const unsigned long long& value)
{
    writeText(target, QString::number(value));
}

void QkarnJsonTrait<unsigned long long>::fromJson(const Json::Value& source, unsigned long long& value)
{
    value = readText(source).toULongLong(nullptr, 10);
}
