<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Localizable</name>
    <message>
        <source>Staywake is keeping this Mac awake</source>
        <translation>Staywake hält diesen Computer wach</translation>
    </message>
    <message>
        <source>Staywake: off</source>
        <translation>Staywake: aus</translation>
    </message>
    <message>
        <source>Staywake: on</source>
        <translation>Staywake: an</translation>
    </message>
    <message>
        <source>Staywake: on, timer running</source>
        <translation>Staywake: an, Timer läuft</translation>
    </message>
    <message>
        <source>On · %1 left</source>
        <translation>An · noch %1</translation>
    </message>
    <message>
        <source>On</source>
        <translation>An</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Staywake, off</source>
        <translation>Staywake, aus</translation>
    </message>
    <message>
        <source>Staywake, on</source>
        <translation>Staywake, an</translation>
    </message>
    <message>
        <source>Staywake, on, less than a minute left</source>
        <translation>Staywake, an, noch weniger als eine Minute</translation>
    </message>
    <message>
        <source>Staywake, on, %1 left</source>
        <translation>Staywake, an, noch %1</translation>
    </message>
    <message>
        <source>Your Mac can sleep as usual.</source>
        <translation>Dein Computer kann wie gewohnt in den Ruhezustand wechseln.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep on its own. Closing the lid still puts it to sleep.</source>
        <translation>Dein Computer schläft nicht von selbst ein. Zuklappen versetzt ihn weiterhin in den Ruhezustand.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep until the session ends. Closing the lid still puts it to sleep.</source>
        <translation>Dein Computer schläft nicht ein, bis die Sitzung endet. Zuklappen versetzt ihn weiterhin in den Ruhezustand.</translation>
    </message>
    <message>
        <source>Turn On</source>
        <translation>Einschalten</translation>
    </message>
    <message>
        <source>Turn Off</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <source>Stay awake without a timer</source>
        <translation>Ohne Timer wach bleiben</translation>
    </message>
    <message>
        <source>Stay awake for</source>
        <translation>Wach bleiben für</translation>
    </message>
    <message>
        <source>Don't retry when Staywake opens</source>
        <translation>Beim Öffnen von Staywake nicht erneut versuchen</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>Beim Anmelden öffnen</translation>
    </message>
    <message>
        <source>Staywake isn't in Applications, so it may not open at your next login. Move it to Applications, then turn this back on.</source>
        <translation>Staywake ist nicht in einem Programmordner installiert und öffnet sich deshalb bei der nächsten Anmeldung möglicherweise nicht. Installiere es dort und schalte dies dann wieder ein.</translation>
    </message>
    <message>
        <source>Approve Staywake in System Settings.</source>
        <translation>Erlaube Staywake in den Einstellungen deiner Arbeitsumgebung.</translation>
    </message>
    <message>
        <source>Open Login Items…</source>
        <translation>Autostart-Anwendungen öffnen …</translation>
    </message>
    <message>
        <source>macOS couldn't keep your Mac awake (IOKit error %1).</source>
        <translation>Das System konnte deinen Computer nicht wach halten (Fehler %1).</translation>
    </message>
</context>
<context>
    <name>NightBrew</name>
    <message>
        <source>Staywake: Night Brew on</source>
        <translation>Staywake: Night Brew an</translation>
    </message>
    <message>
        <source>Staywake: Night Brew on, timer running</source>
        <translation>Staywake: Night Brew an, Timer läuft</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep, even with the lid closed.</source>
        <translation>Dein Computer schläft nicht ein, auch nicht mit geschlossenem Deckel.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep until the session ends, even with the lid closed.</source>
        <translation>Dein Computer schläft nicht ein, bis die Sitzung endet, auch nicht mit geschlossenem Deckel.</translation>
    </message>
    <message>
        <source>Night Brew</source>
        <translation>Night Brew</translation>
    </message>
    <message>
        <source>Your Mac stays awake with the lid closed.</source>
        <translation>Dein Computer bleibt auch mit geschlossenem Deckel wach.</translation>
    </message>
    <message>
        <source>With the lid shut and no display attached, heat can build up. Keep your Mac out of bags and other enclosed spaces while it is working.</source>
        <translation>Bei geschlossenem Deckel und ohne angeschlossenen Bildschirm kann sich Wärme stauen. Bewahre deinen Computer nicht in Taschen oder anderen geschlossenen Räumen auf, während er arbeitet.</translation>
    </message>
    <message>
        <source>I understand</source>
        <translation>Verstanden</translation>
    </message>
    <message>
        <source>I understand the heat warning</source>
        <translation>Ich habe die Wärmewarnung verstanden</translation>
    </message>
    <message>
        <source>On battery with no display attached. Keep your Mac uncovered so heat can escape.</source>
        <translation>Akkubetrieb ohne angeschlossenen Bildschirm. Lass deinen Computer unbedeckt, damit Wärme entweichen kann.</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper is unavailable.</source>
        <translation>Night Brew kann nicht starten, weil sein Hilfsdienst nicht verfügbar ist.</translation>
    </message>
    <message>
        <source>To use Night Brew, allow Staywake in System Settings, then turn it on again.</source>
        <translation>Um Night Brew zu nutzen, erlaube den Hilfsdienst von Staywake auf diesem System und schalte es dann wieder ein.</translation>
    </message>
    <message>
        <source>Open Login Items…</source>
        <translation>Hilfsdienst erlauben …</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper couldn't read the sleep setting, so nothing was changed (%1).</source>
        <translation>Night Brew kann nicht starten, weil sein Hilfsdienst die Ruhezustandseinstellung nicht lesen konnte; es wurde nichts geändert (%1).</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper couldn't change the sleep setting (%1).</source>
        <translation>Night Brew kann nicht starten, weil sein Hilfsdienst die Ruhezustandseinstellung nicht ändern konnte (%1).</translation>
    </message>
    <message>
        <source>Your Mac may stay awake with the lid closed. Night Brew's helper couldn't restore the sleep setting and is still trying (%1).</source>
        <translation>Dein Computer bleibt möglicherweise auch mit geschlossenem Deckel wach. Der Hilfsdienst von Night Brew konnte die Ruhezustandseinstellung nicht wiederherstellen und versucht es weiter (%1).</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper was sent an end time it couldn't read.</source>
        <translation>Night Brew kann nicht starten, weil sein Hilfsdienst eine Endzeit erhielt, die er nicht lesen konnte.</translation>
    </message>
    <message>
        <source>Night Brew can't start because something other than Staywake already keeps your Mac awake with the lid closed. That setting was left as it is.</source>
        <translation>Night Brew kann nicht starten, weil bereits etwas anderes als Staywake deinen Computer mit geschlossenem Deckel wach hält. Diese Einstellung wurde unverändert gelassen.</translation>
    </message>
    <message>
        <source>Night Brew stopped because something other than Staywake changed the sleep setting. Closing the lid works as usual again.</source>
        <translation>Night Brew wurde beendet, weil etwas anderes als Staywake die Ruhezustandseinstellung geändert hat. Zuklappen funktioniert wieder wie gewohnt.</translation>
    </message>
</context>
</TS>
