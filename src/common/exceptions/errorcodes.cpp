#include "errorcodes.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace {

struct CatalogueEntry
{
    int code;
    const char* key;
};

// Sorted by code, grouped by thousands. One key may serve several codes (2246 and 2247).
// clang-format off
constexpr CatalogueEntry catalogue[] = {
    { 10, "LRC2060" },
    { 1001, "LRC2001" }, { 1002, "LRC2002" }, { 1003, "LRC2003" }, { 1004, "LRC2004" }, { 1005, "LRC2005" },
    { 1006, "LRC2061" }, { 1011, "LRC2006" }, { 1012, "LRC2007" }, { 1013, "LRC2009" }, { 1014, "LRC2008" },
    { 1015, "LRC2010" }, { 1016, "LRC2011" }, { 1017, "LRC2012" }, { 1018, "LRC2013" }, { 1019, "LRC2014" },
    { 1020, "LRC2015" }, { 1021, "LRC1010" }, { 1023, "LRC2017" }, { 1024, "LRC2018" }, { 1030, "LRC2066" },
    { 1031, "LRC2067" }, { 1032, "LRC2068" },
    { 2001, "LRC2019" }, { 2002, "LRC2020" }, { 2003, "LRC2053" }, { 2004, "LRC2054" }, { 2005, "LRC1242432323" },
    { 2011, "LRC2021" }, { 2012, "LRC2022" }, { 2013, "LRC1242432324" }, { 2021, "LRC2023" }, { 2222, "LRC2024" },
    { 2223, "LRC2026" }, { 2224, "LRC2028" }, { 2225, "LRC2029" }, { 2226, "LRC2047" }, { 2227, "LRC2049" },
    { 2228, "LRC1025" }, { 2229, "LRC987232312" }, { 2230, "LRC2025" }, { 2231, "LRC2030" }, { 2232, "LRC2031" },
    { 2233, "LRC1242432325" }, { 2241, "LRC2032" }, { 2242, "LRC2033" }, { 2243, "LRC1158" }, { 2244, "LRC2034" },
    { 2245, "LRC2036" }, { 2246, "LRC2062" }, { 2247, "LRC2062" }, { 2248, "LRC45020" }, { 2249, "LRC45021" },
    { 2251, "LRC2037" },
    { 3001, "LRC2038" },
    { 4001, "LRC2039" }, { 4002, "LRC2040" }, { 4004, "LRC2041" }, { 4005, "LRC2056" }, { 4006, "LRC3111" },
    { 5001, "LRC2042" }, { 5002, "LRC2043" },
    { 6001, "LRC2044" },
    { 7001, "LRC2045" }, { 7002, "LRC2065" }, { 7003, "LRC1464" }, { 7004, "LRC1465" },
    { 8001, "LRC2046" }, { 8002, "LRC2048" },
    { 9001, "LRC2050" }, { 9002, "LRC2051" }, { 9003, "LRC2052" },
    { 10001, "LRC2055" },
    { 11001, "LRC2071" }, { 11002, "LRC2072" }, { 11003, "LRC2073" }, { 11004, "LRC2074" },
    { 12001, "LRC2080" },
    { 13001, "LRC2078" }, { 13002, "LRC2079" },
};
// clang-format on
static_assert(std::size(catalogue) == 80, "the catalogue lists 80 codes");

constexpr bool sortedByCode()
{
    for (std::size_t i = 1; i < std::size(catalogue); ++i) {
        if (catalogue[i - 1].code >= catalogue[i].code)
            return false;
    }
    return true;
}
static_assert(sortedByCode(), "lookups search the catalogue by code");

constexpr const char* fallbackKey = "LRC2169";

const char* keyOf(int code)
{
    const auto* entry = std::lower_bound(std::begin(catalogue), std::end(catalogue), code,
                                         [](const CatalogueEntry& e, int c) { return e.code < c; });
    return entry != std::end(catalogue) && entry->code == code ? entry->key : nullptr;
}

bool hasPlaceholder(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%L?[1-9]"));
    return placeholder.match(text).hasMatch();
}

} // namespace

QString ErrorCodes::t(const char* key)
{
    return QCoreApplication::translate("ErrorCodes", key);
}

QString ErrorCodes::filled(const char* context, const char* key, const QString& value)
{
    // Filling a text that has no placeholder would only make the toolkit print a warning.
    const QString text = QCoreApplication::translate(context, key);
    return hasPlaceholder(text) ? text.arg(value) : text;
}

QString ErrorCodes::translate(int code)
{
    if (const char* key = keyOf(code))
        return t(key);
    return filled("ErrorCodes", fallbackKey, QString::number(code));
}
