<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>Localizable</name>
    <message>
        <source>Settings</source>
        <translation>الإعدادات</translation>
    </message>
    <message>
        <source>Choose preset durations…</source>
        <translation>اختيار المدد المحددة مسبقًا…</translation>
    </message>
    <message>
        <source>About Staywake</source>
        <translation>حول Staywake</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>التحقق من وجود تحديثات…</translation>
    </message>
    <message>
        <source>Send Feedback</source>
        <translation>إرسال ملاحظات</translation>
    </message>
    <message>
        <source>Quit Staywake</source>
        <translation>إنهاء Staywake</translation>
    </message>
    <message>
        <source>Preset durations</source>
        <translation>المدد المحددة مسبقًا</translation>
    </message>
    <message>
        <source>Star up to three. If you don't star any, the panel shows no presets.</source>
        <translation>ضع نجمة على ثلاث مدد كحد أقصى. إذا لم تضع نجمة على أي منها، فلن تعرض اللوحة أي مدد محددة مسبقًا.</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>الإصدار %1</translation>
    </message>
    <message>
        <source>Quit and stop awake mode?</source>
        <translation>هل تريد الإنهاء وإيقاف وضع اليقظة؟</translation>
    </message>
    <message>
        <source>Your Mac can fall asleep on its own again. Awake mode turns back on the next time you open Staywake.</source>
        <translation>يمكن لحاسوبك أن يدخل في وضع السكون من تلقاء نفسه مجددًا. سيعود وضع اليقظة للعمل في المرة القادمة التي تفتح فيها Staywake.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>إنهاء</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>إلغاء</translation>
    </message>
    <message>
        <source>%1 left in this session.</source>
        <translation>تبقى %1 في هذه الجلسة.</translation>
    </message>
</context>
<context>
    <name>NightBrew</name>
    <message>
        <source>Quit and end Night Brew?</source>
        <translation>هل تريد الإنهاء وإيقاف Night Brew؟</translation>
    </message>
    <message>
        <source>Your Mac can sleep again with the lid open or closed. Awake mode turns back on the next time you open Staywake. Night Brew stays off.</source>
        <translation>يمكن لحاسوبك أن يدخل في وضع السكون مجددًا والغطاء مفتوح أو مغلق. سيعود وضع اليقظة للعمل في المرة القادمة التي تفتح فيها Staywake. سيبقى Night Brew متوقفًا.</translation>
    </message>
    <message>
        <source>Quit and end Night Brew</source>
        <translation>الإنهاء وإيقاف Night Brew</translation>
    </message>
</context>
</TS>
