<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Localizable</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Choose preset durations…</source>
        <translation>Voreingestellte Dauern wählen…</translation>
    </message>
    <message>
        <source>About Staywake</source>
        <translation>Über Staywake</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Updates suchen…</translation>
    </message>
    <message>
        <source>Send Feedback</source>
        <translation>Feedback senden</translation>
    </message>
    <message>
        <source>Quit Staywake</source>
        <translation>Staywake beenden</translation>
    </message>
    <message>
        <source>Preset durations</source>
        <translation>Voreingestellte Dauern</translation>
    </message>
    <message>
        <source>Star up to three. If you don't star any, the panel shows no presets.</source>
        <translation>Markiere bis zu drei mit einem Stern. Ohne Stern zeigt das Panel keine Voreinstellungen.</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Quit and stop awake mode?</source>
        <translation>Beenden und Wachmodus stoppen?</translation>
    </message>
    <message>
        <source>Your Mac can fall asleep on its own again. Awake mode turns back on the next time you open Staywake.</source>
        <translation>Dein Computer kann wieder von selbst einschlafen. Der Wachmodus schaltet sich beim nächsten Öffnen von Staywake wieder ein.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>%1 left in this session.</source>
        <translation>Noch %1 in dieser Sitzung.</translation>
    </message>
</context>
<context>
    <name>NightBrew</name>
    <message>
        <source>Quit and end Night Brew?</source>
        <translation>Beenden und Night Brew ausschalten?</translation>
    </message>
    <message>
        <source>Your Mac can sleep again with the lid open or closed. Awake mode turns back on the next time you open Staywake. Night Brew stays off.</source>
        <translation>Dein Computer kann wieder schlafen, ob der Deckel offen oder geschlossen ist. Der Wachmodus schaltet sich beim nächsten Öffnen von Staywake wieder ein. Night Brew bleibt aus.</translation>
    </message>
    <message>
        <source>Quit and end Night Brew</source>
        <translation>Beenden und Night Brew ausschalten</translation>
    </message>
</context>
</TS>
