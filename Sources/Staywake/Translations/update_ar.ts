<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>Localizable</name>
    <message>
        <source>%1 is not an https address.</source>
        <translation>%1 ليس عنوان https.</translation>
    </message>
    <message>
        <source>The download could not be saved: %1</source>
        <translation>تعذّر حفظ التنزيل: %1</translation>
    </message>
    <message>
        <source>The downloader could not run: %1</source>
        <translation>تعذّر تشغيل برنامج التنزيل: %1</translation>
    </message>
    <message>
        <source>The downloader ended with status %1.</source>
        <translation>انتهى برنامج التنزيل بالحالة %1.</translation>
    </message>
    <message>
        <source>The server sent Staywake on to %1, which is not an https address.</source>
        <translation>أعاد الخادم توجيه Staywake إلى %1، وهو ليس عنوان https.</translation>
    </message>
    <message>
        <source>The server offered %1 bytes, more than the %2 expected.</source>
        <translation>عرض الخادم %1 بايت، أكثر من %2 المتوقعة.</translation>
    </message>
    <message>
        <source>The server sent more than the %1 bytes expected.</source>
        <translation>أرسل الخادم أكثر من %1 بايت المتوقعة.</translation>
    </message>
    <message>
        <source>The server answered %1 %2.</source>
        <translation>أجاب الخادم %1 %2.</translation>
    </message>
    <message>
        <source>The server did not answer within %1 seconds.</source>
        <translation>لم يُجب الخادم خلال %1 ثانية.</translation>
    </message>
    <message>
        <source>Software Update</source>
        <translation>تحديث البرنامج</translation>
    </message>
    <message>
        <source>A new version of Staywake is available!</source>
        <translation>يتوفر إصدار جديد من Staywake!</translation>
    </message>
    <message>
        <source>Staywake %1 is now available — you have %2. Would you like to install it now?</source>
        <translation>يتوفر الآن Staywake %1، ولديك %2. هل تريد تثبيته الآن؟</translation>
    </message>
    <message>
        <source>Release Notes:</source>
        <translation>ملاحظات الإصدار:</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>ملاحظات الإصدار</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>تخطَّ هذا الإصدار</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>ذكّرني لاحقًا</translation>
    </message>
    <message>
        <source>Install Update</source>
        <translation>ثبّت التحديث</translation>
    </message>
    <message>
        <source>Check for updates automatically?</source>
        <translation>هل تريد البحث عن التحديثات تلقائيًا؟</translation>
    </message>
    <message>
        <source>Staywake can look for a newer version once a day. You can always check with “Check for Updates…” in the settings menu.</source>
        <translation>يمكن لـ Staywake البحث عن إصدار أحدث مرة واحدة يوميًا. ويمكنك دائمًا البحث بنفسك عبر «التحقق من وجود تحديثات…» في قائمة الإعدادات.</translation>
    </message>
    <message>
        <source>Check Automatically</source>
        <translation>ابحث تلقائيًا</translation>
    </message>
    <message>
        <source>Don't Check</source>
        <translation>لا تبحث</translation>
    </message>
    <message>
        <source>This copy of Staywake names no update feed.</source>
        <translation>لا تحدد هذه النسخة من Staywake مصدرًا للتحديثات.</translation>
    </message>
    <message>
        <source>You're up to date!</source>
        <translation>لديك أحدث إصدار!</translation>
    </message>
    <message>
        <source>Staywake %1 is available, but it needs system version %2 or newer.</source>
        <translation>يتوفر Staywake %1، لكنه يحتاج إلى إصدار النظام %2 أو أحدث.</translation>
    </message>
    <message>
        <source>Staywake %1 is currently the newest version available.</source>
        <translation>Staywake %1 هو حاليًا أحدث إصدار متاح.</translation>
    </message>
    <message>
        <source>Staywake could not check for updates.</source>
        <translation>تعذّر على Staywake البحث عن تحديثات.</translation>
    </message>
    <message>
        <source>Staywake cannot install this update.</source>
        <translation>لا يستطيع Staywake تثبيت هذا التحديث.</translation>
    </message>
    <message>
        <source>This copy of Staywake was built without the key that checks update packages, so it installs none. Download Staywake %1 from its website instead.</source>
        <translation>بُنيت هذه النسخة من Staywake دون المفتاح الذي تُفحص به حزم التحديث، لذا لا تثبّت أيًّا منها. نزّل Staywake %1 من موقعه بدلًا من ذلك.</translation>
    </message>
    <message>
        <source>Downloading Staywake %1…</source>
        <translation>جارٍ تنزيل Staywake %1…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>إلغاء</translation>
    </message>
    <message>
        <source>The update could not be downloaded.</source>
        <translation>تعذّر تنزيل التحديث.</translation>
    </message>
    <message>
        <source>Staywake deleted the downloaded update and installed nothing.</source>
        <translation>حذف Staywake التحديث الذي نُزّل ولم يثبّت شيئًا.</translation>
    </message>
    <message>
        <source>The download has %1 bytes, but the update announced %2.</source>
        <translation>يبلغ حجم التنزيل %1 بايت، لكن التحديث أعلن عن %2.</translation>
    </message>
    <message>
        <source>This copy of Staywake has no valid key to check updates with.</source>
        <translation>لا تملك هذه النسخة من Staywake مفتاحًا صالحًا لفحص التحديثات.</translation>
    </message>
    <message>
        <source>The update is not signed.</source>
        <translation>التحديث غير موقَّع.</translation>
    </message>
    <message>
        <source>The update's signature is malformed.</source>
        <translation>توقيع التحديث غير سليم.</translation>
    </message>
    <message>
        <source>The download could not be read: %1</source>
        <translation>تعذّرت قراءة التنزيل: %1</translation>
    </message>
    <message>
        <source>Its signature does not match the package: it is not the release that was signed.</source>
        <translation>توقيعه لا يطابق الحزمة: فهي ليست الإصدار الذي وُقِّع.</translation>
    </message>
    <message>
        <source>The update was not installed; Staywake is unchanged.</source>
        <translation>لم يُثبَّت التحديث؛ ولم يتغير Staywake.</translation>
    </message>
    <message>
        <source>The installer %1 could not be started.</source>
        <translation>تعذّر تشغيل برنامج التثبيت %1.</translation>
    </message>
    <message>
        <source>The installation was not authorized.</source>
        <translation>لم يُسمح بالتثبيت.</translation>
    </message>
    <message>
        <source>The installer ended with status %1.</source>
        <translation>انتهى برنامج التثبيت بالحالة %1.</translation>
    </message>
    <message>
        <source>Staywake %1 is installed.</source>
        <translation>تم تثبيت Staywake %1.</translation>
    </message>
    <message>
        <source>Quit Staywake and start it again to use it.</source>
        <translation>أنهِ Staywake وشغّله من جديد لاستخدامه.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>حسنًا</translation>
    </message>
</context>
</TS>
