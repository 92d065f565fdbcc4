<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Localizable</name>
    <message>
        <source>Kept awake for %1</source>
        <translation>Kept awake for %1</translation>
    </message>
    <message>
        <source>5 minutes left</source>
        <translation>5 minutes left</translation>
    </message>
    <message>
        <source>Add 30 minutes</source>
        <translation>Add 30 minutes</translation>
    </message>
    <message>
        <source>Turn Off Now</source>
        <translation>Turn Off Now</translation>
    </message>
    <message>
        <source>Your computer can sleep again</source>
        <translation>Your computer can sleep again</translation>
    </message>
</context>
</TS>
