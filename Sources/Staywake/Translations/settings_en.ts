<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Localizable</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Choose preset durations…</source>
        <translation>Choose preset durations…</translation>
    </message>
    <message>
        <source>About Staywake</source>
        <translation>About Staywake</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Check for Updates…</translation>
    </message>
    <message>
        <source>Send Feedback</source>
        <translation>Send Feedback</translation>
    </message>
    <message>
        <source>Quit Staywake</source>
        <translation>Quit Staywake</translation>
    </message>
    <message>
        <source>Preset durations</source>
        <translation>Preset durations</translation>
    </message>
    <message>
        <source>Star up to three. If you don't star any, the panel shows no presets.</source>
        <translation>Star up to three. If you don't star any, the panel shows no presets.</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Quit and stop awake mode?</source>
        <translation>Quit and stop awake mode?</translation>
    </message>
    <message>
        <source>Your Mac can fall asleep on its own again. Awake mode turns back on the next time you open Staywake.</source>
        <translation>Your computer can fall asleep on its own again. Awake mode turns back on the next time you open Staywake.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1 left in this session.</source>
        <translation>%1 left in this session.</translation>
    </message>
</context>
<context>
    <name>NightBrew</name>
    <message>
        <source>Quit and end Night Brew?</source>
        <translation>Quit and end Night Brew?</translation>
    </message>
    <message>
        <source>Your Mac can sleep again with the lid open or closed. Awake mode turns back on the next time you open Staywake. Night Brew stays off.</source>
        <translation>Your computer can sleep again with the lid open or closed. Awake mode turns back on the next time you open Staywake. Night Brew stays off.</translation>
    </message>
    <message>
        <source>Quit and end Night Brew</source>
        <translation>Quit and end Night Brew</translation>
    </message>
</context>
</TS>
