#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace staywake {

/// Receives the addresses the app hands the desktop, instead of a browser.
class UrlCatcher final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

} // namespace staywake
