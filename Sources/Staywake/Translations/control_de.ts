<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Localizable</name>
    <message>
        <source>Kept awake for %1</source>
        <translation>Wach gehalten für %1</translation>
    </message>
    <message>
        <source>5 minutes left</source>
        <translation>Noch 5 Minuten</translation>
    </message>
    <message>
        <source>Add 30 minutes</source>
        <translation>30 Minuten hinzufügen</translation>
    </message>
    <message>
        <source>Turn Off Now</source>
        <translation>Jetzt ausschalten</translation>
    </message>
    <message>
        <source>Your computer can sleep again</source>
        <translation>Dein Computer kann wieder in den Ruhezustand wechseln</translation>
    </message>
</context>
</TS>
