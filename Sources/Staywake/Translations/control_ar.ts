<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>Localizable</name>
    <message>
        <source>Kept awake for %1</source>
        <translation>يبقى مستيقظًا من أجل %1</translation>
    </message>
    <message>
        <source>5 minutes left</source>
        <translation>بقيت 5 دقائق</translation>
    </message>
    <message>
        <source>Add 30 minutes</source>
        <translation>إضافة 30 دقيقة</translation>
    </message>
    <message>
        <source>Turn Off Now</source>
        <translation>إيقاف الآن</translation>
    </message>
    <message>
        <source>Your computer can sleep again</source>
        <translation>يمكن لحاسوبك أن ينام مجددًا</translation>
    </message>
</context>
</TS>
