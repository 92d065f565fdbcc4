#include "StaywakeCore/Durations/TimeMeasureFormat.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <unicode/fieldpos.h>
#include <unicode/fmtable.h>
#include <unicode/locid.h>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

namespace staywake {

namespace {

void check(UErrorCode status, const char* attempted) {
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("could not ") + attempted + ": " + u_errorName(status));
    }
}

UMeasureFormatWidth icuWidth(TimeMeasureFormat::Width width) {
    switch (width) {
    case TimeMeasureFormat::Width::abbreviated:
        return UMEASFMT_WIDTH_SHORT;
    case TimeMeasureFormat::Width::full:
        return UMEASFMT_WIDTH_WIDE;
    case TimeMeasureFormat::Width::numeric:
        return UMEASFMT_WIDTH_NUMERIC;
    }
    return UMEASFMT_WIDTH_SHORT;
}

icu::MeasureUnit* createUnit(TimeMeasureFormat::Unit unit, UErrorCode& status) {
    switch (unit) {
    case TimeMeasureFormat::Unit::hour:
        return icu::MeasureUnit::createHour(status);
    case TimeMeasureFormat::Unit::minute:
        return icu::MeasureUnit::createMinute(status);
    case TimeMeasureFormat::Unit::second:
        return icu::MeasureUnit::createSecond(status);
    }
    return icu::MeasureUnit::createSecond(status);
}

icu::Formattable amountOf(double amount) {
    // Whole numbers go to ICU as integers so that no fraction digits and no
    // rounding of ICU's own can appear; only amounts beyond exact integers
    // (or infinity) stay doubles.
    constexpr double exactIntegerLimit = 9007199254740992.0; // 2^53
    if (std::isfinite(amount) && std::fabs(amount) <= exactIntegerLimit) {
        return icu::Formattable(static_cast<std::int64_t>(amount));
    }
    return icu::Formattable(amount);
}

} // namespace

std::string TimeMeasureFormat::format(const std::vector<Measure>& measures, Width width,
                                      const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::MeasureFormat formatter(icu::Locale(locale.c_str()), icuWidth(width), status);
    check(status, "create a duration format");

    std::vector<icu::Measure> icuMeasures;
    icuMeasures.reserve(measures.size());
    for (const auto& measure : measures) {
        // icu::Measure adopts the unit, also when it reports a failure.
        icu::MeasureUnit* unit = createUnit(measure.unit, status);
        check(status, "create a time unit");
        icuMeasures.emplace_back(amountOf(measure.amount), unit, status);
        check(status, "create a time measure");
    }

    icu::UnicodeString text;
    icu::FieldPosition ignored(icu::FieldPosition::DONT_CARE);
    formatter.formatMeasures(icuMeasures.data(), static_cast<std::int32_t>(icuMeasures.size()), text, ignored,
                             status);
    check(status, "format a duration");

    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

} // namespace staywake
