<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Localizable</name>
    <message>
        <source>%1 is not an https address.</source>
        <translation>%1 is not an https address.</translation>
    </message>
    <message>
        <source>The download could not be saved: %1</source>
        <translation>The download could not be saved: %1</translation>
    </message>
    <message>
        <source>The downloader could not run: %1</source>
        <translation>The downloader could not run: %1</translation>
    </message>
    <message>
        <source>The downloader ended with status %1.</source>
        <translation>The downloader ended with status %1.</translation>
    </message>
    <message>
        <source>The server sent Staywake on to %1, which is not an https address.</source>
        <translation>The server sent Staywake on to %1, which is not an https address.</translation>
    </message>
    <message>
        <source>The server offered %1 bytes, more than the %2 expected.</source>
        <translation>The server offered %1 bytes, more than the %2 expected.</translation>
    </message>
    <message>
        <source>The server sent more than the %1 bytes expected.</source>
        <translation>The server sent more than the %1 bytes expected.</translation>
    </message>
    <message>
        <source>The server answered %1 %2.</source>
        <translation>The server answered %1 %2.</translation>
    </message>
    <message>
        <source>The server did not answer within %1 seconds.</source>
        <translation>The server did not answer within %1 seconds.</translation>
    </message>
    <message>
        <source>Software Update</source>
        <translation>Software Update</translation>
    </message>
    <message>
        <source>A new version of Staywake is available!</source>
        <translation>A new version of Staywake is available!</translation>
    </message>
    <message>
        <source>Staywake %1 is now available — you have %2. Would you like to install it now?</source>
        <translation>Staywake %1 is now available — you have %2. Would you like to install it now?</translation>
    </message>
    <message>
        <source>Release Notes:</source>
        <translation>Release Notes:</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Release Notes</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>Skip This Version</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Remind Me Later</translation>
    </message>
    <message>
        <source>Install Update</source>
        <translation>Install Update</translation>
    </message>
    <message>
        <source>Check for updates automatically?</source>
        <translation>Check for updates automatically?</translation>
    </message>
    <message>
        <source>Staywake can look for a newer version once a day. You can always check with “Check for Updates…” in the settings menu.</source>
        <translation>Staywake can look for a newer version once a day. You can always check with “Check for Updates…” in the settings menu.</translation>
    </message>
    <message>
        <source>Check Automatically</source>
        <translation>Check Automatically</translation>
    </message>
    <message>
        <source>Don't Check</source>
        <translation>Don't Check</translation>
    </message>
    <message>
        <source>This copy of Staywake names no update feed.</source>
        <translation>This copy of Staywake names no update feed.</translation>
    </message>
    <message>
        <source>You're up to date!</source>
        <translation>You're up to date!</translation>
    </message>
    <message>
        <source>Staywake %1 is available, but it needs system version %2 or newer.</source>
        <translation>Staywake %1 is available, but it needs system version %2 or newer.</translation>
    </message>
    <message>
        <source>Staywake %1 is currently the newest version available.</source>
        <translation>Staywake %1 is currently the newest version available.</translation>
    </message>
    <message>
        <source>Staywake could not check for updates.</source>
        <translation>Staywake could not check for updates.</translation>
    </message>
    <message>
        <source>Staywake cannot install this update.</source>
        <translation>Staywake cannot install this update.</translation>
    </message>
    <message>
        <source>This copy of Staywake was built without the key that checks update packages, so it installs none. Download Staywake %1 from its website instead.</source>
        <translation>This copy of Staywake was built without the key that checks update packages, so it installs none. Download Staywake %1 from its website instead.</translation>
    </message>
    <message>
        <source>Downloading Staywake %1…</source>
        <translation>Downloading Staywake %1…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>The update could not be downloaded.</source>
        <translation>The update could not be downloaded.</translation>
    </message>
    <message>
        <source>Staywake deleted the downloaded update and installed nothing.</source>
        <translation>Staywake deleted the downloaded update and installed nothing.</translation>
    </message>
    <message>
        <source>The download has %1 bytes, but the update announced %2.</source>
        <translation>The download has %1 bytes, but the update announced %2.</translation>
    </message>
    <message>
        <source>This copy of Staywake has no valid key to check updates with.</source>
        <translation>This copy of Staywake has no valid key to check updates with.</translation>
    </message>
    <message>
        <source>The update is not signed.</source>
        <translation>The update is not signed.</translation>
    </message>
    <message>
        <source>The update's signature is malformed.</source>
        <translation>The update's signature is malformed.</translation>
    </message>
    <message>
        <source>The download could not be read: %1</source>
        <translation>The download could not be read: %1</translation>
    </message>
    <message>
        <source>Its signature does not match the package: it is not the release that was signed.</source>
        <translation>Its signature does not match the package: it is not the release that was signed.</translation>
    </message>
    <message>
        <source>The update was not installed; Staywake is unchanged.</source>
        <translation>The update was not installed; Staywake is unchanged.</translation>
    </message>
    <message>
        <source>The installer %1 could not be started.</source>
        <translation>The installer %1 could not be started.</translation>
    </message>
    <message>
        <source>The installation was not authorized.</source>
        <translation>The installation was not authorized.</translation>
    </message>
    <message>
        <source>The installer ended with status %1.</source>
        <translation>The installer ended with status %1.</translation>
    </message>
    <message>
        <source>Staywake %1 is installed.</source>
        <translation>Staywake %1 is installed.</translation>
    </message>
    <message>
        <source>Quit Staywake and start it again to use it.</source>
        <translation>Quit Staywake and start it again to use it.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
