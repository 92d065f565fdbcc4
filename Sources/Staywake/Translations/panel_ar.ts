<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>Localizable</name>
    <message>
        <source>Staywake is keeping this Mac awake</source>
        <translation>يُبقي Staywake هذا الحاسوب مستيقظًا</translation>
    </message>
    <message>
        <source>Staywake: off</source>
        <translation>Staywake: متوقف</translation>
    </message>
    <message>
        <source>Staywake: on</source>
        <translation>Staywake: يعمل</translation>
    </message>
    <message>
        <source>Staywake: on, timer running</source>
        <translation>Staywake: يعمل، المؤقت يعمل</translation>
    </message>
    <message>
        <source>On · %1 left</source>
        <translation>يعمل · متبقٍ %1</translation>
    </message>
    <message>
        <source>On</source>
        <translation>يعمل</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>متوقف</translation>
    </message>
    <message>
        <source>Staywake, off</source>
        <translation>Staywake، متوقف</translation>
    </message>
    <message>
        <source>Staywake, on</source>
        <translation>Staywake، يعمل</translation>
    </message>
    <message>
        <source>Staywake, on, less than a minute left</source>
        <translation>Staywake، يعمل، متبقٍ أقل من دقيقة</translation>
    </message>
    <message>
        <source>Staywake, on, %1 left</source>
        <translation>Staywake، يعمل، متبقٍ %1</translation>
    </message>
    <message>
        <source>Your Mac can sleep as usual.</source>
        <translation>يمكن لحاسوبك الدخول في وضع السكون كالمعتاد.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep on its own. Closing the lid still puts it to sleep.</source>
        <translation>لن يدخل حاسوبك في وضع السكون من تلقاء نفسه. إغلاق الغطاء لا يزال يُدخله في وضع السكون.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep until the session ends. Closing the lid still puts it to sleep.</source>
        <translation>لن يدخل حاسوبك في وضع السكون حتى تنتهي الجلسة. إغلاق الغطاء لا يزال يُدخله في وضع السكون.</translation>
    </message>
    <message>
        <source>Turn On</source>
        <translation>تشغيل</translation>
    </message>
    <message>
        <source>Turn Off</source>
        <translation>إيقاف</translation>
    </message>
    <message>
        <source>Stay awake without a timer</source>
        <translation>البقاء مستيقظًا دون مؤقت</translation>
    </message>
    <message>
        <source>Stay awake for</source>
        <translation>البقاء مستيقظًا لمدة</translation>
    </message>
    <message>
        <source>Don't retry when Staywake opens</source>
        <translation>لا تُعِد المحاولة عند فتح Staywake</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>الفتح عند تسجيل الدخول</translation>
    </message>
    <message>
        <source>Staywake isn't in Applications, so it may not open at your next login. Move it to Applications, then turn this back on.</source>
        <translation>Staywake غير مثبّت في مجلد للتطبيقات، لذا قد لا يُفتح عند تسجيل دخولك التالي. ثبّته هناك، ثم أعد تفعيل هذا الخيار.</translation>
    </message>
    <message>
        <source>Approve Staywake in System Settings.</source>
        <translation>وافق على Staywake في إعدادات سطح المكتب.</translation>
    </message>
    <message>
        <source>Open Login Items…</source>
        <translation>فتح تطبيقات بدء التشغيل…</translation>
    </message>
    <message>
        <source>macOS couldn't keep your Mac awake (IOKit error %1).</source>
        <translation>تعذّر على النظام إبقاء حاسوبك مستيقظًا (الخطأ %1).</translation>
    </message>
</context>
<context>
    <name>NightBrew</name>
    <message>
        <source>Staywake: Night Brew on</source>
        <translation>Staywake: Night Brew يعمل</translation>
    </message>
    <message>
        <source>Staywake: Night Brew on, timer running</source>
        <translation>Staywake: Night Brew يعمل، المؤقت يعمل</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep, even with the lid closed.</source>
        <translation>لن يدخل حاسوبك في وضع السكون، حتى مع إغلاق الغطاء.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep until the session ends, even with the lid closed.</source>
        <translation>لن يدخل حاسوبك في وضع السكون حتى تنتهي الجلسة، حتى مع إغلاق الغطاء.</translation>
    </message>
    <message>
        <source>Night Brew</source>
        <translation>Night Brew</translation>
    </message>
    <message>
        <source>Your Mac stays awake with the lid closed.</source>
        <translation>يبقى حاسوبك مستيقظًا والغطاء مغلق.</translation>
    </message>
    <message>
        <source>With the lid shut and no display attached, heat can build up. Keep your Mac out of bags and other enclosed spaces while it is working.</source>
        <translation>مع إغلاق الغطاء وعدم توصيل شاشة، قد تتراكم الحرارة. أبقِ حاسوبك خارج الحقائب والأماكن المغلقة الأخرى أثناء عمله.</translation>
    </message>
    <message>
        <source>I understand</source>
        <translation>فهمت</translation>
    </message>
    <message>
        <source>I understand the heat warning</source>
        <translation>فهمت تحذير الحرارة</translation>
    </message>
    <message>
        <source>On battery with no display attached. Keep your Mac uncovered so heat can escape.</source>
        <translation>يعمل على البطارية دون شاشة موصولة. اترك حاسوبك مكشوفًا لتخرج الحرارة.</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper is unavailable.</source>
        <translation>لا يمكن تشغيل Night Brew لأن مساعده غير متاح.</translation>
    </message>
    <message>
        <source>To use Night Brew, allow Staywake in System Settings, then turn it on again.</source>
        <translation>لاستخدام Night Brew، اسمح لمساعد Staywake على هذا النظام، ثم شغّله مرة أخرى.</translation>
    </message>
    <message>
        <source>Open Login Items…</source>
        <translation>السماح للمساعد…</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper couldn't read the sleep setting, so nothing was changed (%1).</source>
        <translation>لا يمكن تشغيل Night Brew لأن مساعده تعذّر عليه قراءة إعداد السكون، لذا لم يُغيَّر شيء (%1).</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper couldn't change the sleep setting (%1).</source>
        <translation>لا يمكن تشغيل Night Brew لأن مساعده تعذّر عليه تغيير إعداد السكون (%1).</translation>
    </message>
    <message>
        <source>Your Mac may stay awake with the lid closed. Night Brew's helper couldn't restore the sleep setting and is still trying (%1).</source>
        <translation>قد يبقى حاسوبك مستيقظًا والغطاء مغلق. تعذّر على مساعد Night Brew استعادة إعداد السكون وما زال يحاول (%1).</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper was sent an end time it couldn't read.</source>
        <translation>لا يمكن تشغيل Night Brew لأن مساعده تلقّى وقت انتهاء تعذّرت عليه قراءته.</translation>
    </message>
    <message>
        <source>Night Brew can't start because something other than Staywake already keeps your Mac awake with the lid closed. That setting was left as it is.</source>
        <translation>لا يمكن تشغيل Night Brew لأن شيئًا آخر غير Staywake يُبقي حاسوبك مستيقظًا والغطاء مغلق. تُرك ذلك الإعداد كما هو.</translation>
    </message>
    <message>
        <source>Night Brew stopped because something other than Staywake changed the sleep setting. Closing the lid works as usual again.</source>
        <translation>توقّف Night Brew لأن شيئًا آخر غير Staywake غيّر إعداد السكون. يعمل إغلاق الغطاء كالمعتاد مجددًا.</translation>
    </message>
</context>
</TS>
