<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Localizable</name>
    <message>
        <source>%1 is not an https address.</source>
        <translation>%1 ist keine https-Adresse.</translation>
    </message>
    <message>
        <source>The download could not be saved: %1</source>
        <translation>Der Download konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>The downloader could not run: %1</source>
        <translation>Das Download-Programm konnte nicht laufen: %1</translation>
    </message>
    <message>
        <source>The downloader ended with status %1.</source>
        <translation>Das Download-Programm endete mit Status %1.</translation>
    </message>
    <message>
        <source>The server sent Staywake on to %1, which is not an https address.</source>
        <translation>Der Server hat Staywake an %1 weitergeleitet, was keine https-Adresse ist.</translation>
    </message>
    <message>
        <source>The server offered %1 bytes, more than the %2 expected.</source>
        <translation>Der Server bot %1 Byte an, mehr als die erwarteten %2.</translation>
    </message>
    <message>
        <source>The server sent more than the %1 bytes expected.</source>
        <translation>Der Server hat mehr als die erwarteten %1 Byte gesendet.</translation>
    </message>
    <message>
        <source>The server answered %1 %2.</source>
        <translation>Der Server antwortete %1 %2.</translation>
    </message>
    <message>
        <source>The server did not answer within %1 seconds.</source>
        <translation>Der Server hat nicht innerhalb von %1 Sekunden geantwortet.</translation>
    </message>
    <message>
        <source>Software Update</source>
        <translation>Softwareaktualisierung</translation>
    </message>
    <message>
        <source>A new version of Staywake is available!</source>
        <translation>Eine neue Version von Staywake ist verfügbar!</translation>
    </message>
    <message>
        <source>Staywake %1 is now available — you have %2. Would you like to install it now?</source>
        <translation>Staywake %1 ist jetzt verfügbar – du hast %2. Möchtest du es jetzt installieren?</translation>
    </message>
    <message>
        <source>Release Notes:</source>
        <translation>Versionshinweise:</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Versionshinweise</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>Diese Version überspringen</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Später erinnern</translation>
    </message>
    <message>
        <source>Install Update</source>
        <translation>Update installieren</translation>
    </message>
    <message>
        <source>Check for updates automatically?</source>
        <translation>Automatisch nach Updates suchen?</translation>
    </message>
    <message>
        <source>Staywake can look for a newer version once a day. You can always check with “Check for Updates…” in the settings menu.</source>
        <translation>Staywake kann einmal am Tag nach einer neueren Version suchen. Du kannst jederzeit mit „Nach Updates suchen…“ im Einstellungsmenü nachsehen.</translation>
    </message>
    <message>
        <source>Check Automatically</source>
        <translation>Automatisch suchen</translation>
    </message>
    <message>
        <source>Don't Check</source>
        <translation>Nicht suchen</translation>
    </message>
    <message>
        <source>This copy of Staywake names no update feed.</source>
        <translation>Diese Staywake-Kopie nennt keine Update-Quelle.</translation>
    </message>
    <message>
        <source>You're up to date!</source>
        <translation>Du bist auf dem neuesten Stand!</translation>
    </message>
    <message>
        <source>Staywake %1 is available, but it needs system version %2 or newer.</source>
        <translation>Staywake %1 ist verfügbar, benötigt aber die Systemversion %2 oder neuer.</translation>
    </message>
    <message>
        <source>Staywake %1 is currently the newest version available.</source>
        <translation>Staywake %1 ist derzeit die neueste verfügbare Version.</translation>
    </message>
    <message>
        <source>Staywake could not check for updates.</source>
        <translation>Staywake konnte nicht nach Updates suchen.</translation>
    </message>
    <message>
        <source>Staywake cannot install this update.</source>
        <translation>Staywake kann dieses Update nicht installieren.</translation>
    </message>
    <message>
        <source>This copy of Staywake was built without the key that checks update packages, so it installs none. Download Staywake %1 from its website instead.</source>
        <translation>Diese Staywake-Kopie wurde ohne den Schlüssel gebaut, mit dem Update-Pakete geprüft werden, und installiert daher keine. Lade Staywake %1 stattdessen von seiner Website.</translation>
    </message>
    <message>
        <source>Downloading Staywake %1…</source>
        <translation>Staywake %1 wird geladen…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The update could not be downloaded.</source>
        <translation>Das Update konnte nicht geladen werden.</translation>
    </message>
    <message>
        <source>Staywake deleted the downloaded update and installed nothing.</source>
        <translation>Staywake hat das geladene Update gelöscht und nichts installiert.</translation>
    </message>
    <message>
        <source>The download has %1 bytes, but the update announced %2.</source>
        <translation>Der Download hat %1 Byte, angekündigt waren %2.</translation>
    </message>
    <message>
        <source>This copy of Staywake has no valid key to check updates with.</source>
        <translation>Diese Staywake-Kopie hat keinen gültigen Schlüssel, um Updates zu prüfen.</translation>
    </message>
    <message>
        <source>The update is not signed.</source>
        <translation>Das Update ist nicht signiert.</translation>
    </message>
    <message>
        <source>The update's signature is malformed.</source>
        <translation>Die Signatur des Updates ist fehlerhaft.</translation>
    </message>
    <message>
        <source>The download could not be read: %1</source>
        <translation>Der Download konnte nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Its signature does not match the package: it is not the release that was signed.</source>
        <translation>Seine Signatur passt nicht zum Paket: Es ist nicht die Version, die signiert wurde.</translation>
    </message>
    <message>
        <source>The update was not installed; Staywake is unchanged.</source>
        <translation>Das Update wurde nicht installiert; Staywake ist unverändert.</translation>
    </message>
    <message>
        <source>The installer %1 could not be started.</source>
        <translation>Das Installationsprogramm %1 konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The installation was not authorized.</source>
        <translation>Die Installation wurde nicht erlaubt.</translation>
    </message>
    <message>
        <source>The installer ended with status %1.</source>
        <translation>Das Installationsprogramm endete mit Status %1.</translation>
    </message>
    <message>
        <source>Staywake %1 is installed.</source>
        <translation>Staywake %1 ist installiert.</translation>
    </message>
    <message>
        <source>Quit Staywake and start it again to use it.</source>
        <translation>Beende Staywake und starte es neu, um es zu verwenden.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
