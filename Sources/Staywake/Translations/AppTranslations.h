#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>
#include <vector>

namespace staywake {

/// The translations shipped in one folder: files named "<area>_<language>.qm"
/// ("panel_de.qm", "settings_ar.qm"), one per area and language.
class AppTranslations {
public:
    explicit AppTranslations(QString folder);
    ~AppTranslations();

    AppTranslations(const AppTranslations&) = delete;
    AppTranslations& operator=(const AppTranslations&) = delete;

    /// The bundle's translations folder, found from the running program
    /// (Contents/bin/Staywake beside Contents/Resources/translations).
    static QString bundleFolder();

    const QString& folder() const { return folder_; }

    /// The languages with at least one file in the folder, sorted ("ar", "de",
    /// "en"); empty when the folder is missing.
    QStringList languages() const;

    /// Installs into the application a translator for every file of
    /// `language` in the folder, replacing what an earlier install() put
    /// there. Returns how many files were loaded; 0 leaves the keys
    /// untranslated.
    int install(const QString& language);

private:
    void removeInstalled();

    QString folder_;
    std::vector<std::unique_ptr<QTranslator>> installed_;
};

} // namespace staywake
