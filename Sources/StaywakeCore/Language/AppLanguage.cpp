#include "StaywakeCore/Language/AppLanguage.h"

#include <unicode/localebuilder.h>
#include <unicode/locid.h>

#include <algorithm>

namespace staywake::AppLanguage {

namespace {

/// Localizations arrive as BCP 47 tags, sometimes written with "_".
icu::Locale fromTag(std::string tag) {
    std::replace(tag.begin(), tag.end(), '_', '-');
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
    return U_FAILURE(status) ? icu::Locale() : locale;
}

} // namespace

std::string resolvedLocale(const std::vector<std::string>& preferring, const std::string& base) {
    if (preferring.empty()) {
        return base;
    }
    const icu::Locale user(base.c_str());
    const icu::Locale language = fromTag(preferring.front());
    if (language.isBogus() || std::string(language.getLanguage()).empty()) {
        return base;
    }
    const std::string region = *language.getCountry() != '\0' ? language.getCountry() : user.getCountry();

    UErrorCode status = U_ZERO_ERROR;
    icu::LocaleBuilder builder;
    builder.setLocale(user)
        .setLanguage(language.getLanguage())
        .setScript(language.getScript())
        .setRegion(region)
        .setVariant("");
    const icu::Locale resolved = builder.build(status);
    if (U_FAILURE(status) || resolved.isBogus()) {
        return base;
    }
    return resolved.getName();
}

} // namespace staywake::AppLanguage
