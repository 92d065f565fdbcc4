#include "Staywake/Translations/AppTranslations.h"
#include "Staywake/Translations/Localized.h"
#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/CountdownText.h"
#include "StaywakeCore/Wording/FailureSentence.h"
#include "StaywakeCore/Wording/SpokenStatus.h"
#include "Support/TemporaryDirectory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <utility>

namespace staywake {
namespace {

using Key = std::pair<QString, QString>; // context, source

struct Entry {
    QString translation;
    bool finished = false;
};

// Every message of a .ts file: context and source to its translation.
void readTs(const QString& path, std::map<Key, Entry>& entries) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    QString context;
    QString source;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const bool typed = !xml.attributes().value(QStringLiteral("type")).isEmpty();
            const QString translation = xml.readElementText();
            entries[{context, source}] = {translation, !typed && !translation.isEmpty()};
        }
    }
    ASSERT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
}

void addKey(std::set<Key>& keys, const LocalizableText& text) {
    if (text.table != FailureSentence::verbatimTable) {
        keys.insert({QString::fromStdString(text.table), QString::fromStdString(text.key)});
    }
}

// Every key the core's wording can hand the interface.
std::set<Key> keysFromCore() {
    std::set<Key> keys;
    for (const auto explanation :
         {AwakeExplanation::sleepsNormally, AwakeExplanation::awakeIndefinitely,
          AwakeExplanation::awakeUntilSessionEnds, AwakeExplanation::awakeWithLidClosedIndefinitely,
          AwakeExplanation::awakeWithLidClosedUntilSessionEnds}) {
        addKey(keys, AwakeExplanation(explanation).sentence());
    }
    for (const auto& status : {SpokenStatus::off(), SpokenStatus::on(), SpokenStatus::lessThanAMinuteLeft(),
                               SpokenStatus::timeLeft(AwakeDuration{120})}) {
        addKey(keys, status.accessibilityLabel("en"));
    }
    for (const auto& [isOn, remaining] : std::vector<std::pair<bool, std::optional<double>>>{
             {false, std::nullopt}, {true, std::nullopt}, {true, 90.0}}) {
        addKey(keys, CountdownText::statusText(isOn, remaining, "en"));
    }
    const std::vector<AwakeFailure> failures{
        AwakeFailure::assertionRefused(-3),
        AwakeFailure::reported("message"),
        AwakeFailure::lidHelperUnavailable(),
        AwakeFailure::lidHelperRequiresApproval(),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnreadable("d")),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::settingUnwritten("d")),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::settingNotPutBack("d")),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::unrecognized("d")),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::deadlineNotANumber()),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::settingOnElsewhere()),
        AwakeFailure::lidHelperRefused(LidHelperRefusal::settingTurnedOffElsewhere()),
    };
    for (const auto& failure : failures) {
        addKey(keys, FailureSentence::of(failure));
    }
    using Label = MenuBarIcon::SpokenLabel;
    for (const auto label : {Label::off, Label::on, Label::onWithTimerRunning, Label::onWithLidClosed,
                             Label::onWithLidClosedAndTimerRunning}) {
        const auto text = MenuBarIcon::text(label);
        keys.insert({QString::fromUtf8(text.table.data(), static_cast<qsizetype>(text.table.size())),
                     QString::fromUtf8(text.key.data(), static_cast<qsizetype>(text.key.size()))});
    }
    return keys;
}

TEST(Translations, EveryKeyInTheCodeIsTranslatedInEveryShippedLanguage) {
    // The keys written in the app's Qt code, as lupdate finds them, and those the core hands over.
    testing::TemporaryDirectory folder("staywake-lupdate");
    const QString extracted = QString::fromStdString((folder.path() / "extracted.ts").string());
    QProcess lupdate;
    lupdate.start(QStringLiteral(STAYWAKE_LUPDATE), {"-silent", STAYWAKE_APP_SOURCES, "-ts", extracted});
    ASSERT_TRUE(lupdate.waitForFinished(60000));
    std::map<Key, Entry> keys;
    readTs(extracted, keys);
    ASSERT_TRUE(keys.count({"Localizable", "Turn On"})) << "lupdate found the panel's own keys";
    for (const auto& key : keysFromCore()) {
        keys[key];
    }

    const QDir sources(QStringLiteral(STAYWAKE_TRANSLATION_SOURCES));
    for (const QString language : {"en", "de", "ar"}) {
        const auto files = sources.entryList({QStringLiteral("*_%1.ts").arg(language)}, QDir::Files);
        ASSERT_FALSE(files.isEmpty()) << language.toStdString();
        std::map<Key, Entry> entries;
        for (const auto& file : files) {
            readTs(sources.filePath(file), entries);
        }
        const auto markers = [](const QString& text) {
            QSet<QString> found;
            for (auto match = QRegularExpression(QStringLiteral("%[1-9]")).globalMatch(text); match.hasNext();) {
                found.insert(match.next().captured());
            }
            return found;
        };
        for (const auto& [key, unused] : keys) {
            SCOPED_TRACE(language.toStdString() + " [" + key.first.toStdString() + "] " +
                         key.second.toStdString());
            const auto found = entries.find(key);
            ASSERT_NE(found, entries.end()) << "missing";
            EXPECT_TRUE(found->second.finished) << "unfinished";
            EXPECT_EQ(markers(found->second.translation), markers(key.second)) << "arguments differ";
        }
    }
}

TEST(Translations, LoadsEveryAreaOfOneLanguageFromTheBundle) {
    AppTranslations translations(QStringLiteral(STAYWAKE_TRANSLATIONS_DIR));
    EXPECT_EQ(translations.languages(), (QStringList{"ar", "de", "en"}));

    const auto refused = FailureSentence::of(AwakeFailure::assertionRefused(-3));
    const auto verbatim = FailureSentence::of(AwakeFailure::reported("Kaputt: %1"));
    const struct {
        QString language;
        QString refusedSentence;
    } cases[] = {
        {"en", "The system couldn't keep your computer awake (error -3)."},
        {"xx", "macOS couldn't keep your Mac awake (IOKit error -3)."},
    };
    for (const auto& each : cases) {
        const int loaded = translations.install(each.language);
        EXPECT_EQ(loaded > 0, each.language != "xx") << each.language.toStdString();
        EXPECT_EQ(localized(refused), each.refusedSentence) << each.language.toStdString();
        EXPECT_EQ(localized(verbatim), "Kaputt: %1");
    }
}

} // namespace
} // namespace staywake
